// The media controls over GDBus: a private connection to the session bus, the two interfaces
// answered from Player::status, a 100 ms poll that turns what changed into PropertiesChanged and
// Seeked, and the bus name with its per-process fallback.
#include "gui/mpris.h"

#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>

#include "gui/gobject_ptr.h"
#include "playback/player.h"
#include "system/logger.h"

namespace mpris {

namespace {

constexpr char kPath[] = "/org/mpris/MediaPlayer2";
constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kName[] = "org.mpris.MediaPlayer2.quavermill";
constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr char kTrackPrefix[] = "/org/quavermill/track/";

constexpr char kInterfaces[] = R"(<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>)";

// What the last poll announced.
struct Shown {
    std::string playback;
    uint64_t track = 0;
    std::string name, path;
    int64_t time = 0;
    int64_t length = 0;
    float volume = -1;
    uint64_t seeks = 0;

    auto track_fields() const { return std::tie(track, name, path, time, length); }
};

}  // namespace

struct Session {
    Player* player = nullptr;
    Hooks hooks;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;  // OwnThread only
    std::thread thread;
    GDBusNodeInfo* node = nullptr;
    gobj::Ref<GCancellable> cancel;
    bool connecting = false;
    GDBusConnection* bus = nullptr;
    guint objects[2] = {0, 0};
    guint owner = 0;
    bool fallback = false;  // the per-process name was asked for
    GSource* poll = nullptr;
    Shown shown;
    bool paused = false;  // headless: what the last pause command asked
};

namespace {

int64_t micros(double seconds) { return static_cast<int64_t>(std::llround(seconds * 1e6)); }

// The window's waiting outside the daily hours reads Paused, so desktops keep the player.
const char* playback_status(Player::State state) {
    switch (state) {
    case Player::Scanning:
    case Player::Playing: return "Playing";
    case Player::Paused:
    case Player::Waiting: return "Paused";
    default: return "Stopped";
    }
}

std::string track_id(const Player::Status& s) {
    return s.tracks_opened == 0 ? kNoTrack : kTrackPrefix + std::to_string(s.tracks_opened);
}

// File names need not be UTF-8, D-Bus strings must be.
GVariant* text(const std::string& s) {
    if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr))
        return g_variant_new_string(s.c_str());
    gobj::Text valid(g_utf8_make_valid(s.data(), static_cast<gssize>(s.size())));
    return g_variant_new_string(valid.get());
}

void add(GVariantBuilder& b, const char* key, GVariant* value) {
    g_variant_builder_add(&b, "{sv}", key, value);
}

GVariant* metadata(const Player::Status& s) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE_VARDICT);
    add(b, "mpris:trackid", g_variant_new_object_path(track_id(s).c_str()));
    if (s.tracks_opened > 0) {
        add(b, "xesam:title", text(s.name));
        if (gobj::Text uri{g_filename_to_uri(s.path.c_str(), nullptr, nullptr)})
            add(b, "xesam:url", g_variant_new_string(uri.get()));
        if (s.duration > 0) add(b, "mpris:length", g_variant_new_int64(micros(s.duration)));
        if (GDateTime* t = s.time > 0 ? g_date_time_new_from_unix_local(s.time) : nullptr) {
            gobj::Text iso(g_date_time_format_iso8601(t));
            g_date_time_unref(t);
            if (iso) add(b, "xesam:contentCreated", g_variant_new_string(iso.get()));
        }
    }
    return g_variant_builder_end(&b);
}

GVariant* one_string_list(const char* item) { return g_variant_new_strv(&item, 1); }

// Both interfaces' properties; their names do not collide. Null for an unknown name.
GVariant* property(Session& s, const char* name) {
    const std::string n = name;
    if (n == "Identity") return g_variant_new_string("Quavermill");
    if (n == "DesktopEntry") return g_variant_new_string("quavermill");
    if (n == "SupportedUriSchemes") return one_string_list("file");
    if (n == "SupportedMimeTypes") return one_string_list("audio/mpeg");
    if (n == "CanRaise") return g_variant_new_boolean(s.hooks.raise != nullptr);
    // No quitting from outside, no track list, and no going back: a round never repeats a file.
    if (n == "CanQuit" || n == "HasTrackList" || n == "CanGoPrevious")
        return g_variant_new_boolean(FALSE);
    if (n == "CanGoNext" || n == "CanPlay" || n == "CanPause" || n == "CanSeek" ||
        n == "CanControl")
        return g_variant_new_boolean(TRUE);
    if (n == "Rate" || n == "MinimumRate" || n == "MaximumRate") return g_variant_new_double(1.0);
    if (n == "Volume") return g_variant_new_double(s.player->volume());
    const Player::Status st = s.player->status();
    if (n == "PlaybackStatus") return g_variant_new_string(playback_status(st.state));
    if (n == "Metadata") return metadata(st);
    if (n == "Position") return g_variant_new_int64(micros(st.position));
    return nullptr;
}

void command(Session& s, Command c, double value) {
    if (s.hooks.command) {
        s.hooks.command(c, value);
        return;
    }
    Player& p = *s.player;
    const bool stopped = p.status().state == Player::Stopped;
    if (c == Command::Play || (c == Command::PlayPause && stopped)) {
        s.paused = false;
        p.set_paused(false);
        if (stopped) p.start();
    } else if (c == Command::Pause || c == Command::PlayPause) {
        s.paused = c == Command::Pause || !s.paused;
        p.set_paused(s.paused);
    } else if (c == Command::Stop) {
        s.paused = false;
        p.stop();
    } else if (c == Command::Next) {
        p.skip();
    } else if (c == Command::Volume) {
        p.set_volume(static_cast<float>(value));
    }
}

// A seek is only for a track that is open: one asked meanwhile would land in the next track.
bool seekable(const Player::Status& st) {
    return st.tracks_opened > 0 && (st.state == Player::Playing || st.state == Player::Paused);
}

// Past the end counts as Next, before the start as the start.
void seek_by(Session& s, gint64 offset) {
    const Player::Status st = s.player->status();
    if (!seekable(st)) return;
    const double target = st.position + static_cast<double>(offset) / 1e6;
    if (st.duration > 0 && target > st.duration)
        command(s, Command::Next, 0);
    else
        s.player->seek(std::max(0.0, target));
}

// Meant for a track that has ended meanwhile, or a place outside the track: nothing.
void set_position(Session& s, const char* track, gint64 position) {
    const Player::Status st = s.player->status();
    if (!seekable(st) || track_id(st) != track || position < 0) return;
    if (st.duration > 0 && position > micros(st.duration)) return;
    s.player->seek(static_cast<double>(position) / 1e6);
}

constexpr struct {
    const char* method;
    Command command;
} kCommands[] = {{"Play", Command::Play}, {"Pause", Command::Pause},
                 {"PlayPause", Command::PlayPause}, {"Stop", Command::Stop},
                 {"Next", Command::Next}};

// GDBus has checked the arguments against the interface before this is called.
void on_method(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
               GVariant* args, GDBusMethodInvocation* call, gpointer data) {
    Session& s = *static_cast<Session*>(data);
    if (std::strcmp(method, "OpenUri") == 0) {
        g_dbus_method_invocation_return_dbus_error(call, "org.freedesktop.DBus.Error.NotSupported",
                                                   "Quavermill plays its folder, not single files");
        return;
    }
    for (const auto& c : kCommands)
        if (std::strcmp(method, c.method) == 0) command(s, c.command, 0);
    if (std::strcmp(method, "Raise") == 0 && s.hooks.raise) s.hooks.raise();
    if (std::strcmp(method, "Seek") == 0) {
        gint64 offset = 0;
        g_variant_get(args, "(x)", &offset);
        seek_by(s, offset);
    }
    if (std::strcmp(method, "SetPosition") == 0) {
        const gchar* track = nullptr;
        gint64 position = 0;
        g_variant_get(args, "(&ox)", &track, &position);
        set_position(s, track, position);
    }
    // Quit and Previous do nothing: CanQuit and CanGoPrevious say so.
    g_dbus_method_invocation_return_value(call, nullptr);
}

GVariant* on_get(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                 GError** error, gpointer data) {
    GVariant* value = property(*static_cast<Session*>(data), name);
    if (!value)
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
    return value;
}

// GDBus refuses a value of the wrong type and a read-only property before this is called. Rate
// has the one value 1.0; another is ignored, as the interface allows.
gboolean on_set(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                GVariant* value, GError** error, gpointer data) {
    if (std::strcmp(name, "Volume") != 0) return TRUE;
    const double v = g_variant_get_double(value);
    if (std::isnan(v)) {
        g_set_error_literal(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "Volume is no number");
        return FALSE;
    }
    command(*static_cast<Session*>(data), Command::Volume, std::clamp(v, 0.0, 1.0));
    return TRUE;
}

const GDBusInterfaceVTable kVTable = {on_method, on_get, on_set, {nullptr}};

Shown shown_of(const Player::Status& st, float volume) {
    return {playback_status(st.state), st.tracks_opened, st.name, st.path, st.time,
            st.duration > 0 ? micros(st.duration) : 0, volume, st.seeks_landed};
}

void emit(Session& s, const char* interface, const char* signal, GVariant* args) {
    g_dbus_connection_emit_signal(s.bus, nullptr, kPath, interface, signal, args, nullptr);
}

gboolean on_poll(gpointer data) {
    Session& s = *static_cast<Session*>(data);
    const Player::Status st = s.player->status();
    Shown now = shown_of(st, s.player->volume());
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE_VARDICT);
    bool any = false;
    if (now.playback != s.shown.playback) {
        add(changed, "PlaybackStatus", g_variant_new_string(now.playback.c_str()));
        any = true;
    }
    if (now.track_fields() != s.shown.track_fields()) {
        add(changed, "Metadata", metadata(st));
        any = true;
    }
    if (now.volume != s.shown.volume) {
        add(changed, "Volume", g_variant_new_double(now.volume));
        any = true;
    }
    if (any) {
        const char* none = nullptr;
        emit(s, "org.freedesktop.DBus.Properties", "PropertiesChanged",
             g_variant_new("(sa{sv}@as)", kPlayerInterface, &changed,
                           g_variant_new_strv(&none, 0)));
    } else {
        g_variant_builder_clear(&changed);
    }
    if (now.seeks != s.shown.seeks)
        emit(s, kPlayerInterface, "Seeked", g_variant_new("(x)", micros(st.position)));
    s.shown = std::move(now);
    return G_SOURCE_CONTINUE;
}

void stop_poll(Session& s) {
    if (!s.poll) return;
    g_source_destroy(s.poll);
    g_source_unref(s.poll);
    s.poll = nullptr;
}

void own(Session& s, const std::string& name);

void on_name_acquired(GDBusConnection*, const gchar* name, gpointer) {
    logger::info(std::string("Mediensteuerung auf dem Sitzungsbus: ") + name);
}

// The common name belongs to another instance: this one takes its own. A closed connection is
// reported by on_closed.
void on_name_lost(GDBusConnection* bus, const gchar* name, gpointer data) {
    Session& s = *static_cast<Session*>(data);
    if (!bus || g_dbus_connection_is_closed(bus)) return;
    if (!s.fallback) {
        s.fallback = true;
        g_bus_unown_name(s.owner);
        own(s, std::string(kName) + ".instance" + std::to_string(::getpid()));
        return;
    }
    s.owner = 0;
    logger::warn(std::string("Mediensteuerung: der Name ist vergeben: ") + name);
}

void own(Session& s, const std::string& name) {
    s.owner = g_bus_own_name_on_connection(s.bus, name.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                           on_name_acquired, on_name_lost, &s, nullptr);
}

void on_closed(GDBusConnection*, gboolean, GError*, gpointer data) {
    logger::warn("Sitzungsbus getrennt — Mediensteuerung aus");
    stop_poll(*static_cast<Session*>(data));
}

void on_connected(GObject*, GAsyncResult* result, gpointer data) {
    Session& s = *static_cast<Session*>(data);
    s.connecting = false;
    GError* error = nullptr;
    s.bus = g_dbus_connection_new_for_address_finish(result, &error);
    if (!s.bus) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            logger::warn(std::string("Kein Sitzungsbus — keine Mediensteuerung: ") + error->message);
        g_error_free(error);
        return;
    }
    g_signal_connect(s.bus, "closed", G_CALLBACK(on_closed), &s);
    for (int i = 0; i < 2; ++i) {
        s.objects[i] = g_dbus_connection_register_object(s.bus, kPath, s.node->interfaces[i],
                                                         &kVTable, &s, nullptr, &error);
        if (!s.objects[i]) {
            logger::error(std::string("Mediensteuerung: ") + error->message);
            g_error_free(error);
            return;
        }
    }
    s.shown = shown_of(s.player->status(), s.player->volume());
    s.poll = g_timeout_source_new(kPollMs);
    g_source_set_callback(s.poll, on_poll, &s, nullptr);
    g_source_attach(s.poll, s.context);
    own(s, kName);
}

// On the session's context, which must be the thread-default one here.
void connect(Session& s) {
    s.node = g_dbus_node_info_new_for_xml(kInterfaces, nullptr);
    GError* error = nullptr;
    gobj::Text address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error));
    if (!address) {
        logger::warn(std::string("Kein Sitzungsbus — keine Mediensteuerung: ") + error->message);
        g_error_free(error);
        return;
    }
    s.cancel.reset(g_cancellable_new());
    s.connecting = true;
    g_dbus_connection_new_for_address(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, s.cancel.get(), on_connected, &s);
}

// A connection still being made is cancelled and waited for, so that no callback outlives
// the session.
void disconnect(Session& s) {
    if (s.connecting) {
        g_cancellable_cancel(s.cancel.get());
        while (s.connecting) g_main_context_iteration(s.context, TRUE);
    }
    stop_poll(s);
    if (s.owner) g_bus_unown_name(s.owner);
    if (s.bus) {
        for (guint id : s.objects)
            if (id) g_dbus_connection_unregister_object(s.bus, id);
        g_signal_handlers_disconnect_by_data(s.bus, &s);
        g_dbus_connection_close(s.bus, nullptr, nullptr, nullptr);
        g_object_unref(s.bus);
    }
    if (s.node) g_dbus_node_info_unref(s.node);
}

gboolean quit_loop(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

}  // namespace

Service::Service(Player* player, const Hooks& hooks, Where where)
    : session_(std::make_unique<Session>()) {
    Session& s = *session_;
    s.player = player;
    s.hooks = hooks;
    if (where == Where::CallerContext) {
        s.context = g_main_context_ref_thread_default();
        connect(s);
        return;
    }
    s.context = g_main_context_new();
    s.loop = g_main_loop_new(s.context, FALSE);
    s.thread = std::thread([&s] {
        g_main_context_push_thread_default(s.context);
        connect(s);
        g_main_loop_run(s.loop);
        disconnect(s);
        g_main_context_pop_thread_default(s.context);
    });
}

Service::~Service() {
    Session& s = *session_;
    if (s.thread.joinable()) {
        // Not the caller's context, so this always goes through the loop.
        g_main_context_invoke(s.context, quit_loop, s.loop);
        s.thread.join();
        g_main_loop_unref(s.loop);
    } else {
        disconnect(s);
    }
    g_main_context_unref(s.context);
}

}  // namespace mpris
