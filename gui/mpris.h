// The desktop's media controls: the MPRIS2 interfaces (org.mpris.MediaPlayer2 and its Player)
// at /org/mpris/MediaPlayer2 on the session bus, so that the sound menu, the lock screen, the
// media keys and playerctl reach the player. The service owns org.mpris.MediaPlayer2.quavermill,
// or org.mpris.MediaPlayer2.quavermill.instance<pid> while another instance holds that name.
//
// Threads: a Service lives on one main context, and everything it does runs there: the
// caller's thread-default context (the window's GUI thread, whose main loop must run for the
// service to answer), or a thread of its own with a context of its own (headless play). It
// reaches the player only through its thread-safe operations and Player::status, polled every
// 100 ms to announce what changed and nothing more often. Construct and destroy a Service on
// one thread; the destructor returns once nothing of it runs any more.
//
// Failure: without a reachable session bus one line is logged and nothing else happens; a bus
// that goes away later is logged and left alone. Playback never depends on the bus. Calls with
// bad arguments get a D-Bus error or a clamp, never a change of state.
#pragma once
#include <memory>

class Player;

namespace mpris {

// How often the service reads the player's status to announce what changed: the window's tick.
constexpr unsigned kPollMs = 100;

// What a client of the bus may ask of playback beyond seeking.
enum class Command : int { Play = 1, Pause, PlayPause, Stop, Next, Volume };

struct Hooks {
    // Does a command as the window's own controls do it, so that it shows and is saved alike;
    // `value` is the volume (finite, 0..1) for Volume. Null: the service acts on the player
    // itself, as headless play wants it.
    void (*command)(Command command, double value) = nullptr;
    // Brings the window to the front. Null: the service tells clients that it cannot.
    void (*raise)() = nullptr;
};

struct Session;

class Service {
public:
    enum class Where { CallerContext, OwnThread };

    // The player is not owned and must outlive the service.
    Service(Player* player, const Hooks& hooks, Where where);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

private:
    std::unique_ptr<Session> session_;
};

}  // namespace mpris
