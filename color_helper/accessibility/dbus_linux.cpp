#include "color_helper/accessibility/dbus_linux.h"

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

std::unique_ptr<Bus> Bus::connect(const std::string& address, Clock& clock, BusOptions options) {
  // libdbus aborts the process on what it takes for a caller's mistake unless
  // told otherwise; a malformed answer from a peer must never end the helper.
  setenv("DBUS_FATAL_WARNINGS", "0", 1);
  if (address.empty() || !plainText(address)) return nullptr;
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* connection = dbus_connection_open_private(address.c_str(), &error);
  dbus_error_free(&error);
  if (connection == nullptr) return nullptr;
  dbus_connection_set_exit_on_disconnect(connection, FALSE);
  std::unique_ptr<Bus> bus(new Bus(connection, clock, options));
  // The daemon's greeting goes through the same bounded path as every other
  // call, so an unresponsive daemon cannot hold the helper for long.
  bool greeted = false;
  bus->call(methodCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"),
            [&greeted](DBusMessage* reply) { greeted = reply != nullptr; });
  bus->run();
  if (!greeted) return nullptr;
  return bus;
}

std::unique_ptr<Bus> Bus::session(Clock& clock, BusOptions options) {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address == nullptr) return nullptr;
  return connect(address, clock, options);
}

Bus::Bus(DBusConnection* connection, Clock& clock, BusOptions options)
    : connection_(connection), clock_(clock), options_(options) {}

Bus::~Bus() {
  if (connection_ != nullptr) {
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
  }
}

void Bus::call(Message message, ReplyHandler handler, Group group) {
  if (!message || connection_ == nullptr) {
    failures_.push_back({group, std::move(handler)});
    return;
  }
  const char* destination = dbus_message_get_destination(message.get());
  std::string peer = destination ? destination : "";
  if (gone_.count(peer) != 0) {
    failures_.push_back({group, std::move(handler)});
    return;
  }
  dbus_uint32_t serial = 0;
  if (!dbus_connection_send(connection_, message.get(), &serial)) {
    failures_.push_back({group, std::move(handler)});
    return;
  }
  ++sent_;
  pending_.emplace(serial, Pending{std::move(peer), clock_.now() + options_.callTimeout,
                                   std::move(handler), group});
  order_.push_back(serial);
}

void Bus::runUntil(const std::function<bool()>& done, const std::function<void()>& feed) {
  for (;;) {
    if (feed) feed();
    if (!failures_.empty()) {
      runFailures();
      continue;
    }
    if (done && done()) return;
    if (pending_.empty()) return;
    if (expire()) continue;
    if (connection_ == nullptr) {
      failAll();
      continue;
    }
    auto wait = pending_.at(order_.front()).deadline - clock_.now();
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    if (ms < 0) ms = 0;
    if (!dbus_connection_read_write(connection_, static_cast<int>(ms))) {
      // The bus itself went away: nothing pending will ever be answered.
      dbus_connection_close(connection_);
      dbus_connection_unref(connection_);
      connection_ = nullptr;
      failAll();
      continue;
    }
    while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
      dispatch(message);
      dbus_message_unref(message);
    }
  }
}

void Bus::abandon(Group group) {
  if (group == 0) return;
  for (auto it = pending_.begin(); it != pending_.end();) {
    it = it->second.group == group ? pending_.erase(it) : std::next(it);
  }
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

std::string basicString(DBusMessageIter& it) {
  const char* text = nullptr;
  dbus_message_iter_get_basic(&it, &text);
  return text ? text : "";
}

}  // namespace

bool readString(DBusMessage* reply, std::string& out) {
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_STRING)) return false;
  out = basicString(it);
  return true;
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
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_ARRAY) ||
      dbus_message_iter_get_element_type(&it) != DBUS_TYPE_STRING) {
    return false;
  }
  DBusMessageIter items;
  dbus_message_iter_recurse(&it, &items);
  out.clear();
  while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRING) {
    out.push_back(basicString(items));
    dbus_message_iter_next(&items);
  }
  return true;
}

bool readUint32s(DBusMessage* reply, std::vector<std::uint32_t>& out) {
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_ARRAY) ||
      dbus_message_iter_get_element_type(&it) != DBUS_TYPE_UINT32) {
    return false;
  }
  DBusMessageIter items;
  dbus_message_iter_recurse(&it, &items);
  out.clear();
  while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_UINT32) {
    dbus_uint32_t value = 0;
    dbus_message_iter_get_basic(&items, &value);
    out.push_back(value);
    dbus_message_iter_next(&items);
  }
  return true;
}

bool readObjectRefs(DBusMessage* reply, std::vector<ObjectRef>& out) {
  DBusMessageIter it;
  if (!first(reply, it, DBUS_TYPE_ARRAY) ||
      dbus_message_iter_get_element_type(&it) != DBUS_TYPE_STRUCT) {
    return false;
  }
  DBusMessageIter items;
  dbus_message_iter_recurse(&it, &items);
  out.clear();
  while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT) {
    DBusMessageIter field;
    dbus_message_iter_recurse(&items, &field);
    if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_STRING) return false;
    ObjectRef ref;
    ref.peer = basicString(field);
    if (!dbus_message_iter_next(&field) ||
        dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_OBJECT_PATH) {
      return false;
    }
    ref.path = basicString(field);
    out.push_back(std::move(ref));
    dbus_message_iter_next(&items);
  }
  return true;
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
      out.text = basicString(inner);
      return true;
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
