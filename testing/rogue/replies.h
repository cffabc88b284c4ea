#pragma once

// Building the accessibility protocol's replies, for the peers that tests play
// and for tests of reading them.

#include <dbus/dbus.h>

#include <cstddef>
#include <string>

#include "color_helper/accessibility/dbus_linux.h"

namespace trovemark::testing::replies {

using ax::dbus::Message;

// A method return to `call`, or to no call when it is null.
inline Message to(DBusMessage* call) {
  return Message(call ? dbus_message_new_method_return(call)
                      : dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
}

template <typename T>
void put(DBusMessageIter& it, int type, T value) {
  dbus_message_iter_append_basic(&it, type, &value);
}
inline void put(DBusMessageIter& it, const std::string& text) {
  put(it, DBUS_TYPE_STRING, text.c_str());
}

// Appends a container of `type` holding what `fill` appends to it.
template <typename Fill>
void open(DBusMessageIter& it, int type, const char* signature, Fill fill) {
  DBusMessageIter inner;
  dbus_message_iter_open_container(&it, type, signature, &inner);
  fill(inner);
  dbus_message_iter_close_container(&it, &inner);
}

// An object reference: a (bus name, object path) structure.
inline void ref(DBusMessageIter& it, const std::string& peer, const std::string& path) {
  open(it, DBUS_TYPE_STRUCT, nullptr, [&](DBusMessageIter& s) {
    put(s, peer);
    put(s, DBUS_TYPE_OBJECT_PATH, path.c_str());
  });
}

// A reply to `call` holding what `fill` appends.
template <typename Fill>
Message with(DBusMessage* call, Fill fill) {
  Message m = to(call);
  DBusMessageIter it;
  dbus_message_iter_init_append(m.get(), &it);
  fill(it);
  return m;
}

template <typename T>
Message basic(DBusMessage* call, int type, T value) {
  return with(call, [&](DBusMessageIter& it) { put(it, type, value); });
}

template <typename T>
Message variant(DBusMessage* call, int type, const char* signature, T value) {
  return with(call, [&](DBusMessageIter& it) {
    open(it, DBUS_TYPE_VARIANT, signature, [&](DBusMessageIter& v) { put(v, type, value); });
  });
}

// A reply holding an array of `count` elements, each appended by `item`.
template <typename Item>
Message array(DBusMessage* call, const char* signature, std::size_t count, Item item) {
  return with(call, [&](DBusMessageIter& it) {
    open(it, DBUS_TYPE_ARRAY, signature, [&](DBusMessageIter& a) {
      for (std::size_t i = 0; i < count; ++i) item(a, i);
    });
  });
}

}  // namespace trovemark::testing::replies
