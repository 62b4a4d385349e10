// The keyboard: the overlays' closing keys, editing in the focused text field with its
// shortcuts and the Tab cycle, and the playback keys while no field has the focus; typed text.
#include <string>

#include "gui/key_map.h"
#include "gui/platform.h"
#include "playback/player.h"
#include "ui/input.h"
#include "ui/round_trip.h"
#include "ui/text_field.h"
#include "ui/ui.h"

namespace ui {

namespace {

constexpr double kSeekStep = 15, kSeekStepLong = 60;  // seconds; the long one with Shift

// The Tab cycle, which includes the time fields also while the time rules are off.
constexpr Hit kCycle[] = {Hit::FolderField, Hit::PatternField, Hit::FromField, Hit::ToField};
constexpr int kCycleLength = sizeof kCycle / sizeof kCycle[0];

void focus_next_field(bool backwards) {
    int at = 0;
    while (at < kCycleLength && kCycle[at] != g_focus) ++at;
    const int step = backwards ? kCycleLength - 1 : 1;
    g_focus = kCycle[(at + step) % kCycleLength];
    Field& f = *field_of(g_focus);
    f.anchor = 0;
    f.caret = f.text.size();
}

void delete_before_caret(Field& f) {
    const size_t at = boundary_at_or_before(f.text, f.caret);
    if (at == 0) return;
    const size_t from = prev_boundary(f.text, at);
    f.text.erase(from, at - from);
    f.caret = f.anchor = from;
}

void delete_at_caret(Field& f) {
    const size_t at = boundary_at_or_before(f.text, f.caret);
    if (at >= f.text.size()) return;
    f.text.erase(at, next_boundary(f.text, at) - at);
    f.caret = f.anchor = at;
}

void move_caret(Field& f, size_t to, bool extend) {
    f.caret = to;
    if (!extend) f.anchor = to;
}

// The letter a key code stands for, or 0.
char letter_of(keymap::Code code) {
    switch (code) {
        case keymap::LetterA: return 'a';
        case keymap::LetterC: return 'c';
        case keymap::LetterN: return 'n';
        case keymap::LetterV: return 'v';
        case keymap::LetterX: return 'x';
        default: return 0;
    }
}

// Ctrl with one of the editing letters; false for any other letter.
bool field_shortcut(Field& f, char letter, const gfx::Rect& r) {
    switch (letter) {
        case 'a':
            f.anchor = 0;
            f.caret = f.text.size();
            return true;
        case 'c': copy_clipboard(f); return true;
        case 'x':
            copy_clipboard(f);
            erase_selection(f);
            return true;
        case 'v': paste(f, r); return true;
        default: return false;
    }
}

// One key for the focused field `f`. Return, Escape and Tab hand the fields' texts back and
// forth; every other key edits `f` alone and brings its caret into view.
void field_key(Field& f, keymap::Code code, bool shift, bool ctrl) {
    const gfx::Rect r = field_rect(g_focus);
    switch (code) {
        case keymap::Return:
            apply_to_player();
            settings_to_ui();
            g_focus = Hit::None;
            return;
        case keymap::Escape:
            settings_to_ui();  // the edit is dropped in all four fields
            g_focus = Hit::None;
            return;
        case keymap::Tab:
            apply_to_player();
            settings_to_ui();
            focus_next_field(shift);
            ensure_caret_visible(*field_of(g_focus), field_rect(g_focus));
            return;
        case keymap::BackSpace:
            if (f.caret != f.anchor) erase_selection(f);
            else delete_before_caret(f);
            break;
        case keymap::Delete:
            if (f.caret != f.anchor) erase_selection(f);
            else delete_at_caret(f);
            break;
        case keymap::Left: move_caret(f, prev_boundary(f.text, f.caret), shift); break;
        case keymap::Right: move_caret(f, next_boundary(f.text, f.caret), shift); break;
        case keymap::Home: move_caret(f, 0, shift); break;
        case keymap::End: move_caret(f, f.text.size(), shift); break;
        case keymap::Space:
            if (ctrl) return;
            insert_text(f, " ");
            break;
        default: {
            const char letter = letter_of(code);
            if (!letter) return;
            if (ctrl) {
                if (!field_shortcut(f, letter, r)) return;
            } else {
                insert_text(f, std::string(1, shift ? static_cast<char>(letter - 'a' + 'A') : letter));
            }
        }
    }
    ensure_caret_visible(f, r);
}

void playback_key(keymap::Code code, bool shift) {
    Player* player = g_player;
    if (!g_running || !player) return;  // the keys do nothing while playback is not running
    const double seek = shift ? kSeekStepLong : kSeekStep;
    switch (code) {
        case keymap::Left: player->seek_relative(-seek); break;
        case keymap::Right: player->seek_relative(seek); break;
        case keymap::Space: toggle_pause(); break;
        case keymap::LetterN: player->skip(); break;
        default: break;
    }
}

}  // namespace

Field* field_of(Hit h) {
    switch (h) {
        case Hit::FolderField: return &g_folder;
        case Hit::PatternField: return &g_pattern;
        case Hit::FromField: return &g_from;
        case Hit::ToField: return &g_to;
        default: return nullptr;
    }
}

gfx::Rect field_rect(Hit h) {
    switch (h) {
        case Hit::FolderField: return g_ui.folder;
        case Hit::PatternField: return g_ui.pattern;
        case Hit::FromField: return g_ui.from;
        case Hit::ToField: return g_ui.to;
        default: return {};
    }
}

void on_key(keymap::Code code, bool shift, bool ctrl) {
    if (g_about_open) {
        if (code == keymap::Escape || code == keymap::F1 || code == keymap::Return ||
            code == keymap::Space)
            g_about_open = false;
        return;
    }
    if (g_settings_open) {
        if (code == keymap::Escape || code == keymap::Return) g_settings_open = false;
        return;
    }
    if (code == keymap::F1) {
        g_about_open = true;
        return;
    }
    if (Field* f = field_of(g_focus)) {
        field_key(*f, code, shift, ctrl);
        return;
    }
    playback_key(code, shift);
}

// An overlay takes all input, also text meant for a field that kept the focus under it.
void on_text(const std::string& utf8) {
    Field* f = field_of(g_focus);
    if (!f || utf8.empty() || g_settings_open || g_about_open) return;
    insert_text(*f, utf8);
    ensure_caret_visible(*f, field_rect(g_focus));
    platform::request_redraw();
}

}  // namespace ui
