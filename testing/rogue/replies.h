#pragma once

// Building the accessibility protocol's messages the way a peer answers: for
// the scene peer, the reply fuzzer and the tests of reading answers.

#include <dbus/dbus.h>

#include <cstddef>
#include <string>

#include "color_helper/accessibility/dbus_linux.h"

namespace trovemark::testing::replies {

using ax::dbus::Message;

// Appends one value of a basic type.
template <typename T>
void put(DBusMessageIter& it, int type, T value) {
  dbus_message_iter_append_basic(&it, type, &value);
}
inline void putText(DBusMessageIter& it, const std::string& text) {
  put(it, DBUS_TYPE_STRING, text.c_str());
}
// An object reference: a (bus name, object path) structure.
inline void putRef(DBusMessageIter& it, const std::string& peer, const std::string& path) {
  DBusMessageIter ref;
  dbus_message_iter_open_container(&it, DBUS_TYPE_STRUCT, nullptr, &ref);
  putText(ref, peer);
  put(ref, DBUS_TYPE_OBJECT_PATH, path.c_str());
  dbus_message_iter_close_container(&it, &ref);
}

// The reply to `call`; with none, a reply to nothing, to read in tests.
inline Message reply(DBusMessage* call) {
  return Message(call ? dbus_message_new_method_return(call)
                      : dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
}

// A reply holding one value of a basic type.
template <typename T>
Message basicReply(DBusMessage* call, int type, T value) {
  Message m = reply(call);
  DBusMessageIter it;
  dbus_message_iter_init_append(m.get(), &it);
  put(it, type, value);
  return m;
}

// A reply holding one variant of a basic type.
template <typename T>
Message variantReply(DBusMessage* call, int type, const char* signature, T value) {
  Message m = reply(call);
  DBusMessageIter it, inner;
  dbus_message_iter_init_append(m.get(), &it);
  dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, signature, &inner);
  put(inner, type, value);
  dbus_message_iter_close_container(&it, &inner);
  return m;
}

// A reply holding one array of `count` items, each appended by item(array, i).
template <typename Item>
Message arrayReply(DBusMessage* call, const char* signature, std::size_t count, Item item) {
  Message m = reply(call);
  DBusMessageIter it, array;
  dbus_message_iter_init_append(m.get(), &it);
  dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, signature, &array);
  for (std::size_t i = 0; i < count; ++i) item(array, i);
  dbus_message_iter_close_container(&it, &array);
  return m;
}

// A reply of `count` references to one object.
inline Message refsReply(DBusMessage* call, std::size_t count, const std::string& peer,
                         const std::string& path) {
  return arrayReply(call, "(so)", count,
                    [&](DBusMessageIter& array, std::size_t) { putRef(array, peer, path); });
}

}  // namespace trovemark::testing::replies
