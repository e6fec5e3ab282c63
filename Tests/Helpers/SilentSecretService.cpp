// A Secret Service that never answers: it owns org.freedesktop.secrets on the session bus and
// drops every call made to it, as a hung keyring daemon would. Prints "ready" once it owns the
// name, then stays until it is signalled.
#include <gio/gio.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace {

GDBusMessage* dropCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
  if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
    g_object_unref(message);
    return nullptr;
  }
  return message;
}

}  // namespace

int main() {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    std::fprintf(stderr, "no session bus: %s\n", error->message);
    return 1;
  }
  g_dbus_connection_add_filter(bus, dropCalls, nullptr, nullptr);
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", "org.freedesktop.secrets", 4u /* do not queue */),
      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  if (!reply) {
    std::fprintf(stderr, "cannot own org.freedesktop.secrets: %s\n", error->message);
    return 1;
  }
  guint32 answer = 0;
  g_variant_get(reply, "(u)", &answer);
  g_variant_unref(reply);
  if (answer != 1) {
    std::fprintf(stderr, "org.freedesktop.secrets already has an owner\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  // The connection's own thread reads and drops the calls; this one only waits.
  while (true) ::pause();
}
