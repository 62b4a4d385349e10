#include "cli/commands.h"

#include <algorithm>
#include <chrono>

#include "cli/con.h"
#include "core/scanner.h"
#include "core/timeutil.h"
#include "system/paths.h"
#include "system/version.h"

namespace {

constexpr const char* kUsage =
    "Quavermill %s (Build %s)\n"
    "\n"
    "  Quavermill                          Fenster oeffnen\n"
    "  Quavermill --scan <ordner>          nur einlesen und auflisten\n"
    "  Quavermill --play <ordner>          ohne Fenster abspielen\n"
    "  Quavermill --devices                Ausgabegeraete auflisten\n"
    "\n"
    "  --device <kennung>    auf diesem Geraet spielen (Kennung aus --devices)\n"
    "  --pattern <muster>    Vorgabe *.mp3, mehrere mit ';'\n"
    "  --from <HH:MM>        Beginn des Zeitraums (Vorgabe 06:00)\n"
    "  --to <HH:MM>          Ende des Zeitraums (Vorgabe 20:00)\n"
    "  --no-window-files     Zeitraum NICHT auf die Dateiauswahl anwenden\n"
    "  --no-window-play      Zeitraum NICHT auf die Wiedergabe anwenden\n"
    "  --no-recursive        Unterordner auslassen\n"
    "  --seconds <n>         nach n Sekunden beenden (fuer Testlaeufe)\n"
    "  --file <datei>        genau diese eine Datei spielen (Messungen)\n"
    "  --target <dB>         Zielpegel der Angleichung (Vorgabe -20)\n"
    "  --ceiling <dB>        Maximalpegel (Vorgabe -1)\n"
    "  --no-level            Pegelangleichung aus\n"
    "  --list <n>            beim Einlesen n Treffer zeigen (Vorgabe 10)\n"
    "  --version             Fassung ausgeben\n"
    "  --autostart on|off    Autostart und Desktop-Verknuepfung setzen\n"
    "                        (mit --folder wird der Ordner mit eingetragen)\n"
    "\n"
    "  Quavermill --folder <ordner>        Fenster mit diesem Ordner oeffnen\n"
    "                                         (uebernimmt auch --pattern/--from/--to)\n";

void print_rules(const FilterSet& rules) {
    con::printf("Ordner   : %s\n", paths::display(rules.root).c_str());
    con::printf("Muster   : %s%s\n", rules.patterns.c_str(),
                rules.recursive ? " (mit Unterordnern)" : "");
    con::printf("Zeitraum : %s-%s%s\n", timeutil::format_hhmm(rules.window.from).c_str(),
                timeutil::format_hhmm(rules.window.to).c_str(),
                rules.win_files ? "" : " (nicht auf die Auswahl angewandt)");
}

void print_matches(const std::vector<MediaFile>& files, int limit) {
    if (limit <= 0) return;
    size_t shown = std::min(static_cast<size_t>(limit), files.size());
    for (size_t i = 0; i < shown; ++i) {
        const MediaFile& f = files[i];
        timeutil::LocalTime t = timeutil::to_local(f.time);
        con::printf("  %04d-%02d-%02d %02d:%02d:%02d  %8.1f KB  %s\n", t.year, t.month, t.day,
                    t.hour, t.minute, t.second, static_cast<double>(f.size) / 1024.0,
                    f.name.c_str());
    }
    if (shown < files.size()) con::printf("  … und %zu weitere\n", files.size() - shown);
}

}  // namespace

int cmd_usage() {
    con::printf(kUsage, version::kVersion, version::kBuild);
    return 0;
}

int cmd_version() {
    con::print(std::string(version::kProduct) + " " + version::kVersion + " (Build " +
               version::kBuild + ")\n");
    return 0;
}

int cmd_scan(const Args& args) {
    FilterSet rules = filters_from_args(args, arg_value(args, "--scan", ""));
    if (rules.root.empty()) {
        con::print("FEHLER: kein Ordner angegeben.\n");
        return 2;
    }
    print_rules(rules);
    if (!scanner::directory_exists(rules.root)) {
        con::print("FEHLER: Ordner nicht erreichbar.\n");
        return 3;
    }
    const auto started = std::chrono::steady_clock::now();
    std::atomic<bool> cancel{false};
    scanner::Progress last;
    std::vector<MediaFile> files =
        scanner::scan(rules, &cancel, [&last](const scanner::Progress& p) { last = p; });
    con::printf("\n%lld Ordner, %lld Dateien gesehen, %zu passen (%.1f s)\n",
                static_cast<long long>(last.dirs), static_cast<long long>(last.files),
                files.size(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    print_matches(files, int_value(args, "--list", "10"));
    return files.empty() ? 1 : 0;
}
