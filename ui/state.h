// Everything the window shows and remembers between events: the regions of the last layout
// (g_ui), the working copy of the settings, the four text fields, which region has the focus,
// the pointer or the drag, which overlay is open, and the player that the panel controls.
//
// GUI thread only: every global here is read and written by the window's main loop and by
// nothing else, so nothing is locked. The player is reached only through its own thread-safe
// calls; it is not owned.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_out.h"
#include "gui/gfx.h"
#include "gui/meter.h"
#include "system/settings.h"

class Player;

namespace ui {

// Every region of the window. The main panel's are set by layout(); the overlays set their own
// while they are drawn. Lengths are pixels times `scale`.
struct Ui {
    gfx::Rect folder{}, browse{};
    gfx::Rect pattern{}, recursive{};
    gfx::Rect from{}, to{};
    gfx::Rect win_files{}, win_play{};
    gfx::Rect time_rules{};
    gfx::Rect src_name{}, src_created{}, src_modified{}, src_off{};
    std::array<gfx::Rect, 7> days{};  // Monday to Sunday
    gfx::Rect track{}, recorded{}, progress{}, status_line{};
    gfx::Rect start{}, pause{}, next{}, rescan{};
    gfx::Rect volume{}, level_match{}, target{}, ceiling{};
    gfx::Rect theme{}, autostart{};
    gfx::Rect meter{};  // all zero while the window has no room for it
    gfx::Rect about_button{}, settings_button{};
    gfx::Rect loop{}, shuffle{};
    gfx::Rect settings_panel{}, settings_close{}, device_area{};
    std::vector<gfx::Rect> language_rects, device_rects;
    gfx::Rect about_panel{}, about_close{}, about_web{}, about_mail{};
    gfx::Rect footer{};
    float scale = 1.0f;          // never changes
    float label_width = 132.0f;  // grows with the longest label of the language in use
};

// Which characters a text field takes.
enum class Accept : int { Path = 0, Pattern = 1, Time = 2 };

// One editable line of text. `caret` and `anchor` are byte offsets on character boundaries;
// the selection lies between them. Offsets left beyond the text by a replaced text are read as
// its end by every operation.
struct Field {
    std::string text;  // UTF-8
    size_t caret = 0;
    size_t anchor = 0;
    float scroll = 0;  // pixels the text is shifted left inside the field, >= 0
    Accept accept = Accept::Path;
};

// What a point hits. The entries of the two lists and the weekday toggles are ranges of their
// own (see HitRange below), far apart from each other and from the single regions.
enum class Hit : int {
    None = 0,
    FolderField = 1,
    PatternField = 2,
    FromField = 3,
    ToField = 4,
    BrowseButton = 5,
    RecursiveCheck = 6,
    TimeRulesCheck = 7,
    WindowFilesCheck = 8,
    WindowPlayCheck = 9,
    SourceNameRadio = 10,
    SourceCreatedRadio = 11,
    SourceModifiedRadio = 12,
    SourceOffRadio = 13,
    StartButton = 14,
    PauseButton = 15,
    NextButton = 16,
    RescanButton = 17,
    VolumeSlider = 18,
    LevelMatchCheck = 19,
    TargetSlider = 20,
    CeilingSlider = 21,
    ThemeButton = 22,
    ProgressBar = 23,
    AutostartCheck = 24,
    LoopCheck = 25,
    ShuffleCheck = 26,
    AboutButton = 28,
    AboutClose = 29,
    AboutWebLink = 30,
    AboutMailLink = 31,
    SettingsButton = 32,
    SettingsClose = 33,
    LanguageItem = 1000,  // first of kLanguageItems
    DeviceItem = 2000,    // first of kDeviceItems
    DayToggle = 3000,     // first of kDayToggles
};

// A list's entries: `size` numbers from `first`.
struct HitRange {
    Hit first;
    int size;

    // Entry `index`; None for an index outside the range.
    constexpr Hit at(int index) const {
        return index >= 0 && index < size ? static_cast<Hit>(static_cast<int>(first) + index)
                                          : Hit::None;
    }
    // The index of `h` in the range, or -1.
    constexpr int index_of(Hit h) const {
        const int i = static_cast<int>(h) - static_cast<int>(first);
        return i >= 0 && i < size ? i : -1;
    }
};

constexpr HitRange kLanguageItems{Hit::LanguageItem, 1000};  // 0 = automatic
constexpr HitRange kDeviceItems{Hit::DeviceItem, 1000};      // 0 = the system's default device
constexpr HitRange kDayToggles{Hit::DayToggle, 7};           // 0 = Monday

extern Ui g_ui;
extern Settings g_settings;  // the panel's working copy; the caller's record is never written
extern Player* g_player;     // null before init and after shutdown
extern Field g_folder, g_pattern, g_from, g_to;
extern Hit g_focus;  // a text field or None
extern Hit g_hover;  // the region under the pointer
extern Hit g_drag;   // held with the left button: a slider, the progress bar or a text field
extern bool g_settings_open, g_about_open;
extern bool g_running;         // playback was started from the panel
extern bool g_autostart_on;    // the login entry exists
extern int64_t g_dirty_since;  // ticks (ms) of the latest unsaved change; 0 = nothing to save
extern int64_t g_last_tick;    // ticks (ms) of the previous timer tick; 0 = none yet
extern std::vector<AudioOut::Device> g_devices;  // read when the settings panel opens
extern int g_dev_scroll;                         // first visible entry of the device list
extern meter::State g_meter;
extern bool g_caret_on;  // blink phase of the caret

}  // namespace ui
