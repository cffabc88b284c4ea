#include "color_helper/accessibility/dbus_linux.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace trovemark::ax::dbus {

namespace {

// Errors by which the daemon says the peer is no longer there to answer.
bool meansPeerGone(const char* errorName) {
  static const char* const kGone[] = {
      DBUS_ERROR_SERVICE_UNKNOWN,   DBUS_ERROR_NO_REPLY, DBUS_ERROR_DISCONNECTED,
      DBUS_ERROR_NAME_HAS_NO_OWNER, DBUS_ERROR_TIMEOUT,  DBUS_ERROR_TIMED_OUT,
      DBUS_ERROR_NO_SERVER,
  };
  if (errorName == nullptr) return false;
  for (const char* gone : kGone) {
    if (std::strcmp(errorName, gone) == 0) return true;
  }
  return false;
}

bool plainText(const std::string& s) { return s.find('\0') == std::string::npos; }

}  // namespace

bool validPeer(const std::string& name) {
  return !name.empty() && plainText(name) && dbus_validate_bus_name(name.c_str(), nullptr);
}

bool validPath(const std::string& path) {
  return !path.empty() && plainText(path) && dbus_validate_path(path.c_str(), nullptr);
}

namespace {

// libdbus's own connection.
class LibdbusWire final : public Wire {
 public:
  explicit LibdbusWire(DBusConnection* connection) : connection_(connection) {}
  ~LibdbusWire() override {
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
  }
  bool send(DBusMessage* message, dbus_uint32_t& serial) override {
    return dbus_connection_send(connection_, message, &serial);
  }
  bool readWrite(int timeoutMs) override {
    return dbus_connection_read_write(connection_, timeoutMs);
  }
  Message pop() override { return Message(dbus_connection_pop_message(connection_)); }

 private:
  DBusConnection* connection_;
};

}  // namespace

std::unique_ptr<Bus> Bus::connect(const std::string& address, Clock& clock, BusOptions options) {
  if (address.empty() || !plainText(address)) return nullptr;
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* connection = dbus_connection_open_private(address.c_str(), &error);
  dbus_error_free(&error);
  if (connection == nullptr) return nullptr;
  dbus_connection_set_exit_on_disconnect(connection, FALSE);
  dbus_connection_set_max_message_size(connection, kMaxMessageBytes);
  dbus_connection_set_max_received_size(connection, kMaxMessageBytes);
  return over(std::make_unique<LibdbusWire>(connection), clock, options);
}

std::unique_ptr<Bus> Bus::over(std::unique_ptr<Wire> wire, Clock& clock, BusOptions options) {
  std::unique_ptr<Bus> bus(new Bus(std::move(wire), clock, options));
  // The daemon's greeting goes through the same bounded path as every other
  // call, so an unresponsive daemon cannot hold the helper for long.
  bool greeted = false;
  bus->call(methodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"),
            [&greeted](DBusMessage* reply) { greeted = reply != nullptr; });
  bus->run();
  if (!greeted) return nullptr;
  return bus;
}

Bus::Bus(std::unique_ptr<Wire> wire, Clock& clock, BusOptions options)
    : wire_(std::move(wire)), clock_(clock), options_(options) {}

Bus::~Bus() = default;

void Bus::call(Message message, ReplyHandler handler, Group group) {
  if (!message || wire_ == nullptr || spent()) {
    failures_.push_back({group, std::move(handler)});
    return;
  }
  if (pending_.size() >= options_.maxInFlight) {
    unsent_.push_back({std::move(message), std::move(handler), group});
    return;
  }
  send(std::move(message), std::move(handler), group);
}

void Bus::send(Message message, ReplyHandler handler, Group group) {
  const char* destination = dbus_message_get_destination(message.get());
  std::string peer = destination ? destination : "";
  dbus_uint32_t serial = 0;
  if (gone_.count(peer) != 0 || !wire_->send(message.get(), serial)) {
    failures_.push_back({group, std::move(handler)});
    return;
  }
  ++sent_;
  pending_.emplace(serial, Pending{std::move(peer), clock_.now() + options_.callTimeout,
                                   std::move(handler), group});
  order_.push_back(serial);
}

void Bus::sendUnsent() {
  while (!unsent_.empty() && pending_.size() < options_.maxInFlight) {
    Unsent next = std::move(unsent_.front());
    unsent_.pop_front();
    send(std::move(next.message), std::move(next.handler), next.group);
  }
}

void Bus::runUntil(const std::function<bool()>& done, const std::function<void()>& feed) {
  // Everything from here to the return counts against the request's budget:
  // the waits, and the reading of what they bring.
  auto mark = clock_.now();
  auto charge = [&] {
    if (options_.budget == nullptr) return;
    const auto now = clock_.now();
    options_.budget->charge(now - mark);
    mark = now;
  };
  for (;;) {
    if (feed) feed();
    if (spent() || wire_ == nullptr) failAll();
    sendUnsent();
    if (!failures_.empty()) {
      runFailures();
      continue;
    }
    if (done && done()) break;
    if (pending_.empty()) break;
    charge();
    if (spent()) continue;
    if (expire()) continue;
    auto wait = pending_.at(order_.front()).deadline - clock_.now();
    if (options_.budget != nullptr) wait = std::min(wait, options_.budget->left());
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    if (ms < 0) ms = 0;
    if (!wire_->readWrite(static_cast<int>(ms))) {
      // The bus itself went away: nothing pending will ever be answered.
      wire_.reset();
      continue;
    }
    while (Message message = wire_->pop()) dispatch(message.get());
    charge();
  }
  charge();
}

void Bus::abandon(Group group) {
  if (group == 0) return;
  std::erase_if(pending_, [group](const auto& entry) { return entry.second.group == group; });
  std::erase_if(unsent_, [group](const Unsent& u) { return u.group == group; });
  std::erase_if(failures_, [group](const Failure& f) { return f.group == group; });
}

void Bus::dispatch(DBusMessage* message) {
  const int type = dbus_message_get_type(message);
  if (type != DBUS_MESSAGE_TYPE_METHOD_RETURN && type != DBUS_MESSAGE_TYPE_ERROR) return;
  auto it = pending_.find(dbus_message_get_reply_serial(message));
  if (it == pending_.end()) return;
  Pending pending = std::move(it->second);
  pending_.erase(it);
  if (type == DBUS_MESSAGE_TYPE_ERROR) {
    if (meansPeerGone(dbus_message_get_error_name(message))) gone_.insert(pending.peer);
    pending.handler(nullptr);
  } else {
    pending.handler(message);
  }
}

bool Bus::expire() {
  const auto now = clock_.now();
  bool expired = false;
  while (!order_.empty()) {
    auto it = pending_.find(order_.front());
    if (it == pending_.end()) {
      order_.pop_front();
      continue;
    }
    if (it->second.deadline > now) break;
    Pending pending = std::move(it->second);
    pending_.erase(it);
    order_.pop_front();
    gone_.insert(pending.peer);
    failures_.push_back({pending.group, std::move(pending.handler)});
    expired = true;
  }
  return expired;
}

void Bus::failAll() {
  for (dbus_uint32_t serial : order_) {
    auto it = pending_.find(serial);
    if (it == pending_.end()) continue;
    failures_.push_back({it->second.group, std::move(it->second.handler)});
    pending_.erase(it);
  }
  for (Unsent& u : unsent_) failures_.push_back({u.group, std::move(u.handler)});
  unsent_.clear();
  order_.clear();
  pending_.clear();
}

void Bus::runFailures() {
  // One at a time from the queue itself: a handler may abandon a group whose
  // failures are still queued.
  while (!failures_.empty()) {
    Failure failure = std::move(failures_.front());
    failures_.pop_front();
    failure.handler(nullptr);
  }
}

Message methodCall(const std::string& peer, const std::string& path, const char* interface,
                   const char* method) {
  if (!validPeer(peer) || !validPath(path)) return nullptr;
  return Message(dbus_message_new_method_call(peer.c_str(), path.c_str(), interface, method));
}

Message propertyGet(const std::string& peer, const std::string& path, const char* interface,
                    const char* property) {
  Message message = methodCall(peer, path, DBUS_INTERFACE_PROPERTIES, "Get");
  if (!message) return nullptr;
  if (!dbus_message_append_args(message.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                &property, DBUS_TYPE_INVALID)) {
    return nullptr;
  }
  return message;
}

namespace {

bool first(DBusMessage* reply, DBusMessageIter& it, int type) {
  return reply != nullptr && dbus_message_iter_init(reply, &it) &&
         dbus_message_iter_get_arg_type(&it) == type;
}

// A text of the current argument (a string or an object path), unless it is
// longer than the helper accepts.
bool basicString(DBusMessageIter& it, std::string& out) {
  const char* text = nullptr;
  dbus_message_iter_get_basic(&it, &text);
  const std::size_t length = text ? std::strlen(text) : 0;
  if (length > kMaxText) return false;
  out.assign(text ? text : "", length);
  return true;
}

// Calls `item` on each element of an array of `type` elements, in order;
// false when the reply is not one, when it is longer than `most`, or when
// `item` refuses an element.
template <typename Item>
bool readArray(DBusMessage* reply, int type, Item item, std::size_t most = kMaxListItems) {
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_ARRAY) || dbus_message_iter_get_element_type(&it) != type) {
    return false;
  }
  DBusMessageIter items;
  dbus_message_iter_recurse(&it, &items);
  for (std::size_t n = 0; dbus_message_iter_get_arg_type(&items) == type; ++n) {
    if (n == most || !item(items)) return false;
    dbus_message_iter_next(&items);
  }
  return true;
}

// The leading strings of a structure, into `out`.
bool readFields(DBusMessageIter& structure, std::string* out, std::size_t count, const int* types) {
  DBusMessageIter field;
  dbus_message_iter_recurse(&structure, &field);
  for (std::size_t i = 0; i < count; ++i) {
    if ((i > 0 && !dbus_message_iter_next(&field)) ||
        dbus_message_iter_get_arg_type(&field) != types[i] || !basicString(field, out[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool readString(DBusMessage* reply, std::string& out) {
  DBusMessageIter it;
  return first(reply, it, DBUS_TYPE_STRING) && basicString(it, out);
}

bool readUint32(DBusMessage* reply, std::uint32_t& out) {
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_UINT32)) return false;
  dbus_uint32_t value = 0;
  dbus_message_iter_get_basic(&it, &value);
  out = value;
  return true;
}

bool readBool(DBusMessage* reply, bool& out) {
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_BOOLEAN)) return false;
  dbus_bool_t value = FALSE;
  dbus_message_iter_get_basic(&it, &value);
  out = value != FALSE;
  return true;
}

bool readStrings(DBusMessage* reply, std::vector<std::string>& out) {
  out.clear();
  return readArray(reply, DBUS_TYPE_STRING,
                   [&out](DBusMessageIter& item) { return basicString(item, out.emplace_back()); });
}

bool readUint32s(DBusMessage* reply, std::vector<std::uint32_t>& out) {
  out.clear();
  return readArray(reply, DBUS_TYPE_UINT32, [&out](DBusMessageIter& item) {
    dbus_uint32_t value = 0;
    dbus_message_iter_get_basic(&item, &value);
    out.push_back(value);
    return true;
  });
}

namespace {

// Reads one element of an object reference list.
bool objectRef(DBusMessageIter& item, ObjectRef& out) {
  static constexpr int kTypes[] = {DBUS_TYPE_STRING, DBUS_TYPE_OBJECT_PATH};
  std::string fields[2];
  if (!readFields(item, fields, 2, kTypes)) return false;
  out = {std::move(fields[0]), std::move(fields[1])};
  return true;
}

}  // namespace

bool readObjectRefs(DBusMessage* reply, std::vector<ObjectRef>& out) {
  out.clear();
  return readArray(reply, DBUS_TYPE_STRUCT,
                   [&out](DBusMessageIter& item) { return objectRef(item, out.emplace_back()); });
}

bool forEachObjectRef(DBusMessage* reply, const std::function<bool(ObjectRef&&)>& each) {
  bool more = true;
  const bool read = readArray(
      reply, DBUS_TYPE_STRUCT,
      [&](DBusMessageIter& item) {
        ObjectRef ref;
        if (!more || !objectRef(item, ref)) return false;
        more = each(std::move(ref));
        return true;
      },
      static_cast<std::size_t>(-1));
  return read || !more;
}

bool readActionNames(DBusMessage* reply, std::vector<std::string>& out) {
  out.clear();
  static constexpr int kTypes[] = {DBUS_TYPE_STRING};
  return readArray(reply, DBUS_TYPE_STRUCT, [&out](DBusMessageIter& item) {
    return readFields(item, &out.emplace_back(), 1, kTypes);
  });
}

bool readVariant(DBusMessage* reply, Variant& out) {
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_VARIANT)) return false;
  DBusMessageIter inner;
  dbus_message_iter_recurse(&it, &inner);
  out = Variant{};
  char* signature = dbus_message_iter_get_signature(&inner);
  if (signature != nullptr) {
    out.signature = signature;
    dbus_free(signature);
  }
  switch (dbus_message_iter_get_arg_type(&inner)) {
    case DBUS_TYPE_STRING:
      out.kind = Variant::Kind::kString;
      return basicString(inner, out.text);
    case DBUS_TYPE_BOOLEAN: {
      dbus_bool_t value = FALSE;
      dbus_message_iter_get_basic(&inner, &value);
      out.kind = Variant::Kind::kBool;
      out.flag = value != FALSE;
      return true;
    }
    case DBUS_TYPE_DOUBLE:
    case DBUS_TYPE_BYTE:
    case DBUS_TYPE_INT16:
    case DBUS_TYPE_UINT16:
    case DBUS_TYPE_INT32:
    case DBUS_TYPE_UINT32:
    case DBUS_TYPE_INT64:
    case DBUS_TYPE_UINT64: {
      DBusBasicValue value;
      dbus_message_iter_get_basic(&inner, &value);
      out.kind = Variant::Kind::kNumber;
      switch (dbus_message_iter_get_arg_type(&inner)) {
        case DBUS_TYPE_DOUBLE:
          out.number = value.dbl;
          break;
        case DBUS_TYPE_BYTE:
          out.number = value.byt;
          break;
        case DBUS_TYPE_INT16:
          out.number = value.i16;
          break;
        case DBUS_TYPE_UINT16:
          out.number = value.u16;
          break;
        case DBUS_TYPE_INT32:
          out.number = value.i32;
          break;
        case DBUS_TYPE_UINT32:
          out.number = value.u32;
          break;
        case DBUS_TYPE_INT64:
          out.number = static_cast<double>(value.i64);
          break;
        default:
          out.number = static_cast<double>(value.u64);
          break;
      }
      return true;
    }
    default:
      out.kind = Variant::Kind::kOther;
      return true;
  }
}

}  // namespace trovemark::ax::dbus
