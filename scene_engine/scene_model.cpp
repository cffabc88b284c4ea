#include "scene_engine/scene_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>
#include <utility>

namespace trovemark::scene {

namespace {

using nlohmann::json;

// Deeper than any real window; a bound keeps the recursive reading of nodes
// (and the JSON library's own recursion) far from the end of the stack.
constexpr int kMaxNesting = 4000;
// A scene is a few hundred kilobytes; this keeps a wrong file from filling
// memory.
constexpr std::uintmax_t kMaxFileBytes = 64u * 1024u * 1024u;

// Quoted as JSON text; bytes that are not UTF-8 (a file name can hold them)
// are replaced rather than allowed to throw.
std::string inQuotes(const std::string& text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

const char* typeName(const json& value) {
  switch (value.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::boolean:
      return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return "a number";
    case json::value_t::string:
      return "text";
    case json::value_t::array:
      return "a list";
    case json::value_t::object:
      return "an object";
    default:
      return "a value of another kind";
  }
}

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  throw SceneError(where + ": " + what);
}

// The deepest nesting of lists and objects, strings skipped.
int nestingDepth(std::string_view text) {
  int depth = 0;
  int deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

Value toValue(const json& value) {
  switch (value.type()) {
    case json::value_t::string:
      return value.get<std::string>();
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return value.get<double>();
    case json::value_t::boolean:
      return ax::OtherValue{"boolean"};
    case json::value_t::array:
      return ax::OtherValue{"array"};
    case json::value_t::object:
      return ax::OtherValue{"object"};
    default:
      return std::monostate{};
  }
}

// A bind's format is checked when the scene is read, because it reaches
// snprintf: it must hold exactly one conversion of a double, with small width
// and precision, and otherwise only text and "%%".
std::optional<std::string> formatProblem(const std::string& format) {
  int conversions = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    ++i;
    if (i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) ++i;
    int digits = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i, ++digits;
    if (digits > 2) return "a field width of at most 2 digits";
    if (i < format.size() && format[i] == '.') {
      ++i;
      digits = 0;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i, ++digits;
      if (digits > 2) return "a precision of at most 2 digits";
    }
    if (i < format.size() && format[i] == 'l') ++i;
    if (i >= format.size() || std::strchr("fFeEgGaA", format[i]) == nullptr) {
      return "only conversions of a number (%f, %e, %g, %a)";
    }
    ++conversions;
  }
  if (format.find('\0') != std::string::npos) return "no NUL character";
  if (conversions != 1) return "exactly one conversion of the number";
  return std::nullopt;
}

// In the C numeric locale, which every program using the engine keeps (the
// stand-in puts it back after Qt sets the user's), the decimal point is ".".
std::string formatNumber(const std::string& format, double number) {
  char buffer[512];
  const int written = std::snprintf(buffer, sizeof buffer, format.c_str(), number);
  if (written < 0) return {};
  return std::string(buffer,
                     std::min<std::size_t>(static_cast<std::size_t>(written), sizeof buffer - 1));
}

}  // namespace

// --- Operation ---------------------------------------------------------------

namespace {

template <typename Json>
Json operationJson(const Operation& operation) {
  Json object = Json::object();
  object["op"] = operation.op;
  object["id"] = operation.id ? Json(*operation.id) : Json(nullptr);
  if (operation.value) {
    object["value"] = std::isfinite(*operation.value) ? Json(*operation.value) : Json(nullptr);
  }
  object["refused"] = operation.refused;
  return object;
}

}  // namespace

nlohmann::json Operation::toJson() const { return operationJson<nlohmann::json>(*this); }

std::string Operation::toJsonLine() const {
  return operationJson<nlohmann::ordered_json>(*this).dump();
}

// --- The model's state -------------------------------------------------------

struct SceneModel::Impl {
  explicit Impl(ax::Clock& c) : clock(c) {}

  ax::Clock& clock;
  SceneDescription scene;
  bool& trusted = scene.trusted;
  std::vector<Application>& applications = scene.applications;
  std::vector<Node>& nodes = scene.nodes;
  std::unordered_map<std::string, NodeId> ids;
  std::unordered_map<NodeId, std::string> idPlaces;         // where each id was given, for messages
  std::unordered_map<NodeId, std::vector<NodeId>> boundTo;  // source -> bound texts
  std::map<std::pair<TimePoint, std::uint64_t>, Effect> pending;
  std::uint64_t scheduled = 0;
  std::vector<Operation> log;
  std::vector<Listener> listeners;

  // --- Reading the file ---
  struct Reference {
    NodeId node;
    std::string name;
    std::string where;
    enum class Use { kOnPress, kOnSet, kBind } use;
    std::size_t index;
  };
  std::vector<Reference> references;

  void readTop(const json& top);
  void readApplication(const json& app, std::size_t index);
  // `where` is the node's place in the file; it is extended for each child
  // and restored, so a deep tree costs no copy of the path per node.
  NodeId readNode(const json& object, std::string& where, std::size_t application,
                  std::optional<NodeId> parent);
  // Everything of one node but its children. Kept out of the recursion so
  // that each level of a deep tree costs a small stack frame (sanitizer
  // builds make this one several kilobytes).
  [[gnu::noinline]] NodeId readOwnKeys(const json& object, const std::string& where,
                                       std::size_t application, std::optional<NodeId> parent);
  std::vector<Effect> readEffects(const json& list, const std::string& where, NodeId node,
                                  Reference::Use use);
  void resolveReferences();

  // --- Running ---
  Value valueOf(NodeId node) const;
  bool shown(NodeId node) const;
  void notify(Change::Kind kind, NodeId node);
  void store(NodeId node, Value value);
  void setHidden(NodeId node, bool hidden);
  void apply(const Effect& effect);
  void run(const std::vector<Effect>& effects);
  void advance();
};

void SceneModel::Impl::readTop(const json& top) {
  if (!top.is_object()) fail("top level", "must be an object, not " + std::string(typeName(top)));
  for (const auto& [key, value] : top.items()) {
    if (key == "trusted") {
      if (!value.is_boolean()) fail("trusted", "must be true or false");
      trusted = value.get<bool>();
    } else if (key == "applications") {
      if (!value.is_array()) fail("applications", "must be a list of applications");
    } else if (key.empty() || key.front() != '_') {
      fail("top level", "unknown key " + inQuotes(key));
    }
  }
  if (auto it = top.find("applications"); it != top.end()) {
    for (std::size_t i = 0; i < it->size(); ++i) readApplication((*it)[i], i);
  }
  resolveReferences();
}

void SceneModel::Impl::readApplication(const json& app, std::size_t index) {
  const std::string where = "applications[" + std::to_string(index) + "]";
  if (!app.is_object()) fail(where, "an application must be an object");
  Application application;
  for (const auto& [key, value] : app.items()) {
    if (key == "focusedWindow") {
      if (value.is_null()) continue;
      if (value.is_number_integer()) {
        application.focusedWindow = value.get<std::int64_t>();
      } else if (value.is_number_unsigned()) {
        application.focusedWindow = INT64_MAX;  // beyond any window
      } else {
        fail(where + ".focusedWindow", "must be a window index or null");
      }
    } else if (key != "windows" && (key.empty() || key.front() != '_')) {
      fail(where, "unknown key " + inQuotes(key));
    }
  }
  applications.push_back(application);
  // "windows" that is absent or not a list reads as unreadable.
  if (auto it = app.find("windows"); it != app.end() && it->is_array()) {
    std::vector<NodeId> windows;
    for (std::size_t i = 0; i < it->size(); ++i) {
      std::string at = where + ".windows[" + std::to_string(i) + "]";
      windows.push_back(readNode((*it)[i], at, index, std::nullopt));
    }
    applications[index].windows = std::move(windows);
  }
}

NodeId SceneModel::Impl::readOwnKeys(const json& object, const std::string& where,
                                     std::size_t application, std::optional<NodeId> parent) {
  if (!object.is_object())
    fail(where, "a node must be an object, not " + std::string(typeName(object)));
  const NodeId self = nodes.size();
  nodes.emplace_back();
  nodes[self].parent = parent;
  nodes[self].application = application;

  auto text = [&](const std::string& key, const json& value) -> std::optional<std::string> {
    if (value.is_null()) return std::nullopt;
    if (!value.is_string())
      fail(where + "." + key, "must be text, not " + std::string(typeName(value)));
    return value.get<std::string>();
  };
  auto flag = [&](const std::string& key, const json& value) {
    if (!value.is_boolean()) fail(where + "." + key, "must be true or false");
    return value.get<bool>();
  };

  for (const auto& [key, value] : object.items()) {
    if (key == "id") {
      if (!value.is_string()) fail(where + ".id", "must be text");
      const std::string id = value.get<std::string>();
      if (auto [it, inserted] = ids.emplace(id, self); !inserted) {
        fail(where + ".id",
             "duplicate id " + inQuotes(id) + " (first used at " + idPlaces[it->second] + ")");
      }
      nodes[self].id = id;
      idPlaces[self] = where;
    } else if (key == "role") {
      nodes[self].role = text(key, value);
    } else if (key == "description") {
      nodes[self].description = text(key, value);
    } else if (key == "value") {
      nodes[self].value = toValue(value);
    } else if (key == "children") {
      // Read below, once this node's own keys are known.
    } else if (key == "hidden") {
      nodes[self].hidden = flag(key, value);
    } else if (key == "refusePress") {
      nodes[self].refusePress = flag(key, value);
    } else if (key == "refuseSet") {
      nodes[self].refuseSet = flag(key, value);
    } else if (key == "range") {
      if (!value.is_array() || value.size() != 2 || !value[0].is_number() ||
          !value[1].is_number()) {
        fail(where + ".range", "must be [min, max], two numbers");
      }
      const double low = value[0].get<double>();
      const double high = value[1].get<double>();
      if (!(low <= high)) fail(where + ".range", "min must not be greater than max");
      nodes[self].range = {low, high};
    } else if (key == "onPress") {
      nodes[self].onPress = readEffects(value, where + ".onPress", self, Reference::Use::kOnPress);
    } else if (key == "onSet") {
      nodes[self].onSet = readEffects(value, where + ".onSet", self, Reference::Use::kOnSet);
    } else if (key == "bind") {
      const std::string at = where + ".bind";
      if (!value.is_object()) fail(at, "must be an object {\"id\", \"scale\", \"format\"}");
      Bind bind;
      for (const auto& [bindKey, bindValue] : value.items()) {
        if (bindKey == "id") {
          if (!bindValue.is_string()) fail(at + ".id", "must be text");
          references.push_back(
              {self, bindValue.get<std::string>(), at + ".id", Reference::Use::kBind, 0});
        } else if (bindKey == "scale") {
          if (!bindValue.is_number()) fail(at + ".scale", "must be a number");
          bind.scale = bindValue.get<double>();
        } else if (bindKey == "format") {
          if (!bindValue.is_string()) fail(at + ".format", "must be text");
          bind.format = bindValue.get<std::string>();
          if (auto problem = formatProblem(bind.format)) {
            fail(at + ".format", "must hold " + *problem + ": " + inQuotes(bind.format));
          }
        } else if (bindKey.empty() || bindKey.front() != '_') {
          fail(at, "unknown key " + inQuotes(bindKey));
        }
      }
      if (!value.contains("id")) fail(at, "needs the \"id\" of the node it follows");
      nodes[self].bind = bind;
    } else if (key.empty() || key.front() != '_') {
      fail(where, "unknown key " + inQuotes(key));
    }
  }

  return self;
}

namespace {

[[gnu::noinline]] void appendChildPlace(std::string& where, std::size_t i) {
  where += ".children[" + std::to_string(i) + "]";
}

}  // namespace

NodeId SceneModel::Impl::readNode(const json& object, std::string& where, std::size_t application,
                                  std::optional<NodeId> parent) {
  const NodeId self = readOwnKeys(object, where, application, parent);
  // "children" that is not a list reads as unreadable.
  if (auto it = object.find("children"); it != object.end() && it->is_array()) {
    nodes[self].children.emplace().reserve(it->size());
    for (std::size_t i = 0; i < it->size(); ++i) {
      const std::size_t length = where.size();
      appendChildPlace(where, i);
      const NodeId child = readNode((*it)[i], where, application, self);
      nodes[self].children->push_back(child);
      where.resize(length);
    }
  }
  return self;
}

std::vector<Effect> SceneModel::Impl::readEffects(const json& list, const std::string& where,
                                                  NodeId node, Reference::Use use) {
  if (!list.is_array()) fail(where, "must be a list of effects");
  std::vector<Effect> effects;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = where + "[" + std::to_string(i) + "]";
    const json& object = list[i];
    if (!object.is_object()) fail(at, "an effect must be an object");
    Effect effect;
    int kinds = 0;
    for (const auto& [key, value] : object.items()) {
      static const std::pair<const char*, Effect::Kind> kKinds[] = {
          {"set", Effect::Kind::kSet},
          {"toggle", Effect::Kind::kToggle},
          {"show", Effect::Kind::kShow},
          {"hide", Effect::Kind::kHide}};
      // A plain reference: clang 14 cannot capture a structured binding.
      const std::string& name = key;
      const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                     [&](const auto& entry) { return name == entry.first; });
      if (kind != std::end(kKinds)) {
        if (!value.is_string()) fail(at + "." + key, "must be the id of a node");
        effect.kind = kind->second;
        references.push_back({node, value.get<std::string>(), at + "." + key, use, i});
        ++kinds;
      } else if (key == "value") {
        effect.value = toValue(value);
      } else if (key == "afterMs") {
        if (!value.is_number() || !(value.get<double>() >= 0) ||
            !std::isfinite(value.get<double>())) {
          fail(at + ".afterMs", "must be a number of milliseconds, 0 or more");
        }
        effect.afterMs = value.get<double>();
      } else if (key.empty() || key.front() != '_') {
        fail(at, "unknown key " + inQuotes(key));
      }
    }
    if (kinds != 1) fail(at, "needs exactly one of \"set\", \"toggle\", \"show\" and \"hide\"");
    if (effect.kind == Effect::Kind::kSet && !object.contains("value")) {
      fail(at, "\"set\" needs a \"value\"");
    }
    if (effect.kind != Effect::Kind::kSet && object.contains("value")) {
      fail(at, "only \"set\" takes a \"value\"");
    }
    effects.push_back(std::move(effect));
  }
  return effects;
}

void SceneModel::Impl::resolveReferences() {
  for (const Reference& reference : references) {
    const auto it = ids.find(reference.name);
    if (it == ids.end()) fail(reference.where, "no node has the id " + inQuotes(reference.name));
    Node& node = nodes[reference.node];
    switch (reference.use) {
      case Reference::Use::kOnPress:
        (*node.onPress)[reference.index].target = it->second;
        break;
      case Reference::Use::kOnSet:
        node.onSet[reference.index].target = it->second;
        break;
      case Reference::Use::kBind:
        node.bind->source = it->second;
        boundTo[it->second].push_back(reference.node);
        break;
    }
  }
  references.clear();
}

// --- Running the scene -------------------------------------------------------

Value SceneModel::Impl::valueOf(NodeId node) const {
  const Node& n = nodes[node];
  if (!n.bind) return n.value;
  // A bound text follows the number stored in its source; a source holding
  // anything else leaves the text missing.
  const auto* number = std::get_if<double>(&nodes[n.bind->source].value);
  if (number == nullptr) return std::monostate{};
  return formatNumber(n.bind->format, *number * n.bind->scale);
}

bool SceneModel::Impl::shown(NodeId node) const {
  for (std::optional<NodeId> at = node; at; at = nodes[*at].parent) {
    if (nodes[*at].hidden) return false;
  }
  return true;
}

void SceneModel::Impl::notify(Change::Kind kind, NodeId node) {
  const Change change{kind, node, nodes[node].application};
  for (const Listener& listener : listeners) listener(change);
}

void SceneModel::Impl::store(NodeId node, Value value) {
  std::vector<std::pair<NodeId, Value>> before{{node, valueOf(node)}};
  if (auto it = boundTo.find(node); it != boundTo.end()) {
    for (NodeId bound : it->second) before.emplace_back(bound, valueOf(bound));
  }
  nodes[node].value = std::move(value);
  for (const auto& [id, old] : before) {
    if (!(valueOf(id) == old)) notify(Change::Kind::kValueChanged, id);
  }
}

void SceneModel::Impl::setHidden(NodeId node, bool hidden) {
  Node& n = nodes[node];
  if (n.hidden == hidden) return;
  n.hidden = hidden;
  notify(hidden ? Change::Kind::kHidden : Change::Kind::kShown, node);
  if (n.parent) {
    notify(Change::Kind::kChildrenChanged, *n.parent);
  } else {
    const Change change{Change::Kind::kWindowsChanged, node, n.application};
    for (const Listener& listener : listeners) listener(change);
  }
}

void SceneModel::Impl::apply(const Effect& effect) {
  switch (effect.kind) {
    case Effect::Kind::kSet:
      store(effect.target, effect.value);
      break;
    case Effect::Kind::kToggle: {
      // Between 0 and 1: exactly 1 goes to 0, anything else (0, missing, text)
      // goes to 1.
      const auto* number = std::get_if<double>(&nodes[effect.target].value);
      store(effect.target, (number != nullptr && *number == 1) ? 0.0 : 1.0);
      break;
    }
    case Effect::Kind::kShow:
      setHidden(effect.target, false);
      break;
    case Effect::Kind::kHide:
      setHidden(effect.target, true);
      break;
  }
}

void SceneModel::Impl::run(const std::vector<Effect>& effects) {
  const TimePoint now = clock.now();
  // A delay longer than the clock can count from now (over a century) never
  // comes due: converting it to clock ticks, or adding it to now, would
  // overflow. Half the room keeps rounding of the double clear of the edge.
  const double roomMs =
      std::chrono::duration<double, std::milli>(TimePoint::max() - now).count() / 2;
  for (const Effect& effect : effects) {
    if (effect.afterMs <= 0) {
      apply(effect);
    } else {
      const TimePoint due =
          effect.afterMs < roomMs
              ? now + std::chrono::duration_cast<Clock::Duration>(
                          std::chrono::duration<double, std::milli>(effect.afterMs))
              : TimePoint::max();
      pending.emplace(std::make_pair(due, scheduled++), effect);
    }
  }
}

void SceneModel::Impl::advance() {
  const TimePoint now = clock.now();
  while (!pending.empty() && pending.begin()->first.first <= now) {
    const Effect effect = pending.begin()->second;
    pending.erase(pending.begin());
    apply(effect);
  }
}

// --- Writing a scene ---------------------------------------------------------

namespace {

json valueJson(const Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<double>(&value)) return *number;
  if (const auto* other = std::get_if<ax::OtherValue>(&value)) {
    if (other->kind == "boolean") return true;
    return other->kind == "array" ? json::array() : json::object();
  }
  return nullptr;
}

class SceneWriter {
 public:
  explicit SceneWriter(const SceneDescription& scene)
      : scene_(scene), inTree_(scene.nodes.size()), written_(scene.nodes.size()) {
    std::vector<NodeId> pending;
    for (const Application& application : scene.applications) {
      if (application.windows) {
        pending.insert(pending.end(), application.windows->begin(), application.windows->end());
      }
    }
    while (!pending.empty()) {
      const NodeId node = pending.back();
      pending.pop_back();
      if (node >= inTree_.size() || inTree_[node]) continue;
      inTree_[node] = true;
      if (const auto& children = scene.nodes[node].children) {
        pending.insert(pending.end(), children->begin(), children->end());
      }
    }
    nameNodes();
  }

  json write() {
    json top = json::object();
    top["trusted"] = scene_.trusted;
    top["applications"] = json::array();
    for (const Application& application : scene_.applications) {
      json app = json::object();
      app["focusedWindow"] =
          application.focusedWindow ? json(*application.focusedWindow) : json(nullptr);
      if (application.windows) {
        app["windows"] = json::array();
        for (NodeId window : *application.windows) {
          if (window < inTree_.size() && !written_[window]) app["windows"].push_back(node(window));
        }
      }
      top["applications"].push_back(std::move(app));
    }
    return top;
  }

 private:
  // Unique ids are kept; a named node without one gets a fresh one.
  void nameNodes() {
    const std::size_t count = scene_.nodes.size();
    std::vector<bool> named(count);
    const auto name = [&](NodeId target) {
      if (target < count && inTree_[target]) named[target] = true;
    };
    for (NodeId n = 0; n < count; ++n) {
      if (!inTree_[n]) continue;
      const Node& node = scene_.nodes[n];
      if (node.onPress) {
        for (const Effect& effect : *node.onPress) name(effect.target);
      }
      for (const Effect& effect : node.onSet) name(effect.target);
      if (node.bind) name(node.bind->source);
    }
    ids_.resize(count);
    std::set<std::string> taken;
    for (NodeId n = 0; n < count; ++n) {
      if (inTree_[n] && scene_.nodes[n].id && taken.insert(*scene_.nodes[n].id).second) {
        ids_[n] = scene_.nodes[n].id;
      }
    }
    for (NodeId n = 0; n < count; ++n) {
      if (!named[n] || ids_[n]) continue;
      for (std::size_t k = n;; k += count) {
        std::string fresh = "node-" + std::to_string(k);
        if (taken.insert(fresh).second) {
          ids_[n] = std::move(fresh);
          break;
        }
      }
    }
  }

  json effects(const std::vector<Effect>& list) const {
    static const char* const kKinds[] = {"set", "toggle", "show", "hide"};
    json written = json::array();
    for (const Effect& effect : list) {
      if (effect.target >= inTree_.size() || !inTree_[effect.target]) continue;
      json e = json::object();
      e[kKinds[static_cast<int>(effect.kind)]] = *ids_[effect.target];
      if (effect.kind == Effect::Kind::kSet) e["value"] = valueJson(effect.value);
      if (effect.afterMs > 0) e["afterMs"] = effect.afterMs;
      written.push_back(std::move(e));
    }
    return written;
  }

  json node(NodeId index) {
    written_[index] = true;
    const Node& n = scene_.nodes[index];
    json o = json::object();
    if (ids_[index]) o["id"] = *ids_[index];
    if (n.role) o["role"] = *n.role;
    if (n.description) o["description"] = *n.description;
    if (!std::holds_alternative<std::monostate>(n.value)) o["value"] = valueJson(n.value);
    if (n.hidden) o["hidden"] = true;
    if (n.refusePress) o["refusePress"] = true;
    if (n.refuseSet) o["refuseSet"] = true;
    if (n.range) o["range"] = {n.range->first, n.range->second};
    if (n.onPress) o["onPress"] = effects(*n.onPress);
    if (!n.onSet.empty()) o["onSet"] = effects(n.onSet);
    if (n.bind && n.bind->source < inTree_.size() && inTree_[n.bind->source]) {
      o["bind"] = {
          {"id", *ids_[n.bind->source]}, {"scale", n.bind->scale}, {"format", n.bind->format}};
    }
    if (n.children) {
      json children = json::array();
      for (NodeId child : *n.children) {
        if (child < written_.size() && !written_[child]) children.push_back(node(child));
      }
      o["children"] = std::move(children);
    }
    return o;
  }

  const SceneDescription& scene_;
  std::vector<bool> inTree_;
  std::vector<bool> written_;
  std::vector<std::optional<std::string>> ids_;
};

}  // namespace

std::string writeScene(const SceneDescription& scene) {
  // Text that is not UTF-8 (a fuzzer's bytes) is replaced rather than thrown on.
  return SceneWriter(scene).write().dump(-1, ' ', false, json::error_handler_t::replace);
}

// --- SceneModel --------------------------------------------------------------

SceneModel::SceneModel(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SceneModel::~SceneModel() = default;

std::unique_ptr<SceneModel> SceneModel::parse(std::string_view text, Clock& clock) {
  try {
    if (nestingDepth(text) > kMaxNesting) {
      throw SceneError("nested more than " + std::to_string(kMaxNesting) + " levels deep");
    }
    json top;
    try {
      top = json::parse(text);
    } catch (const json::exception& error) {
      throw SceneError(std::string("not valid JSON: ") + error.what());
    }
    auto impl = std::make_unique<Impl>(clock);
    impl->readTop(top);
    return std::unique_ptr<SceneModel>(new SceneModel(std::move(impl)));
  } catch (const SceneError& error) {
    throw SceneError(std::string("invalid scene: ") + error.what());
  }
}

std::unique_ptr<SceneModel> SceneModel::load(const std::filesystem::path& file, Clock& clock) {
  const std::string name = inQuotes(file.string());
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) {
    throw SceneError("cannot read scene file " + name + ": it is a folder");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SceneError("cannot read scene file " + name + ": " + std::strerror(errno));
  std::string text;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxFileBytes) {
      throw SceneError("cannot read scene file " + name + ": larger than " +
                       std::to_string(kMaxFileBytes / (1024 * 1024)) + " MiB");
    }
  }
  if (in.bad()) throw SceneError("cannot read scene file " + name + ": read error");
  try {
    return parse(text, clock);
  } catch (const SceneError& error) {
    throw SceneError("scene file " + name + ": " + error.what());
  }
}

bool SceneModel::trusted() const { return impl_->trusted; }
std::size_t SceneModel::applicationCount() const { return impl_->applications.size(); }

std::optional<std::vector<NodeId>> SceneModel::windows(std::size_t application) const {
  if (application >= impl_->applications.size()) return std::nullopt;
  return impl_->applications[application].windows;
}

std::optional<std::vector<NodeId>> SceneModel::shownWindows(std::size_t application) const {
  auto all = windows(application);
  if (!all) return std::nullopt;
  std::erase_if(*all, [&](NodeId window) { return impl_->nodes[window].hidden; });
  return all;
}

std::optional<NodeId> SceneModel::focusedWindow(std::size_t application) const {
  if (application >= impl_->applications.size()) return std::nullopt;
  const Application& app = impl_->applications[application];
  if (!app.focusedWindow || !app.windows || *app.focusedWindow < 0 ||
      static_cast<std::uint64_t>(*app.focusedWindow) >= app.windows->size()) {
    return std::nullopt;
  }
  const NodeId window = (*app.windows)[static_cast<std::size_t>(*app.focusedWindow)];
  if (impl_->nodes[window].hidden) return std::nullopt;
  return window;
}

std::size_t SceneModel::nodeCount() const { return impl_->nodes.size(); }

std::optional<NodeId> SceneModel::find(const std::string& id) const {
  const auto it = impl_->ids.find(id);
  if (it == impl_->ids.end()) return std::nullopt;
  return it->second;
}

const std::optional<std::string>& SceneModel::id(NodeId node) const {
  return impl_->nodes[node].id;
}
const std::optional<std::string>& SceneModel::role(NodeId node) const {
  return impl_->nodes[node].role;
}
const std::optional<std::string>& SceneModel::description(NodeId node) const {
  return impl_->nodes[node].description;
}
Value SceneModel::value(NodeId node) const { return impl_->valueOf(node); }

std::optional<std::vector<NodeId>> SceneModel::shownChildren(NodeId node) const {
  auto children = impl_->nodes[node].children;
  if (!children) return std::nullopt;
  std::erase_if(*children, [&](NodeId child) { return impl_->nodes[child].hidden; });
  return children;
}

std::optional<NodeId> SceneModel::parent(NodeId node) const { return impl_->nodes[node].parent; }
std::size_t SceneModel::application(NodeId node) const { return impl_->nodes[node].application; }
bool SceneModel::isShown(NodeId node) const { return impl_->shown(node); }
bool SceneModel::refusesPress(NodeId node) const { return impl_->nodes[node].refusePress; }
bool SceneModel::refusesSet(NodeId node) const { return impl_->nodes[node].refuseSet; }
std::optional<std::pair<double, double>> SceneModel::range(NodeId node) const {
  return impl_->nodes[node].range;
}

bool SceneModel::press(NodeId node) {
  impl_->advance();
  const Node& n = impl_->nodes[node];
  const bool accepted = impl_->shown(node) && !n.refusePress;
  impl_->log.push_back(Operation{"press", n.id, std::nullopt, !accepted});
  if (!accepted) return false;
  if (n.onPress) {
    impl_->run(*n.onPress);
  } else if (n.role == "AXCheckBox") {
    impl_->apply(Effect{Effect::Kind::kToggle, node, {}, 0});
  }
  return true;
}

bool SceneModel::set(NodeId node, double value) {
  impl_->advance();
  const Node& n = impl_->nodes[node];
  const bool accepted = impl_->shown(node) && !n.refuseSet;
  impl_->log.push_back(Operation{"set", n.id, value, !accepted});
  if (!accepted) return false;
  double stored = value;
  if (n.range) stored = std::clamp(value, n.range->first, n.range->second);
  impl_->store(node, stored);
  impl_->run(n.onSet);
  return true;
}

void SceneModel::logRefused(const std::string& op, std::optional<double> value,
                            std::optional<std::string> id) {
  impl_->advance();
  impl_->log.push_back(Operation{op, std::move(id), value, true});
}

const std::vector<Operation>& SceneModel::operations() const { return impl_->log; }

const SceneDescription& SceneModel::snapshot() const { return impl_->scene; }

void SceneModel::advanceToNow() { impl_->advance(); }

std::optional<SceneModel::TimePoint> SceneModel::nextDue() const {
  if (impl_->pending.empty()) return std::nullopt;
  return impl_->pending.begin()->first.first;
}

void SceneModel::addListener(Listener listener) { impl_->listeners.push_back(std::move(listener)); }

}  // namespace trovemark::scene
