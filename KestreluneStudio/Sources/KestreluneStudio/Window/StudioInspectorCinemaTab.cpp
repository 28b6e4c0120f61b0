// The Cinema tab: format, duration and soundtrack of the turntable render, the score
// audition, the progress of a running export and the three render/export actions. Its
// settings are read by the renders, not the viewport, so no control syncs the scene.
#include <array>
#include <string>
#include <vector>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioInspectorStyles.h"
#include "KestreluneStudio/Window/StudioInspectorTabs.h"
#include "KestreluneStudio/Window/StudioInspectorTexts.h"

namespace kestrelune::inspector {

namespace {

using namespace pk::ui;
using creator::VelMusicIntensityStateV950;
using lookdev::TurntableAspectPreset;

struct Duration {
    const char* title;
    double seconds;
};
constexpr std::array<Duration, 3> kDurations{{{"3s", 3.0}, {"4s", 4.0}, {"6s", 6.0}}};
constexpr float kDurationWidth = 150;

struct MoodRow {
    const char* title;
    VelMusicIntensityStateV950 mood;
};
// Five of the six moods: the boss brass has no row.
constexpr std::array<MoodRow, 5> kMoodRows{{
    {"Ambient Studio", VelMusicIntensityStateV950::ambientExploration},
    {"Coastal Calm", VelMusicIntensityStateV950::coastalSerene},
    {"Tension Pulse", VelMusicIntensityStateV950::tensionPulse},
    {"Trailer Drive", VelMusicIntensityStateV950::combatDrive},
    {"Heroic Reveal", VelMusicIntensityStateV950::victoryResolve},
}};

void formatPicker(StudioViewModel& vm) {
    static const std::vector<std::string> rows = [] {
        std::vector<std::string> out;
        for (TurntableAspectPreset a : TurntableAspectPreset::allCases) out.push_back(a.rawValue());
        return out;
    }();
    int selected = -1;
    for (size_t i = 0; i < TurntableAspectPreset::allCases.size(); ++i)
        if (TurntableAspectPreset::allCases[i] == *vm.turntableAspect) selected = int(i);
    if (auto chosen = picker("Format", "Format", rows, selected))
        vm.turntableAspect = TurntableAspectPreset::allCases[size_t(*chosen)];
}

void durationRow(StudioViewModel& vm) {
    static const std::vector<std::string> titles{kDurations[0].title, kDurations[1].title, kDurations[2].title};
    int selected = -1;  // a stored duration matching no segment shows none
    for (size_t i = 0; i < kDurations.size(); ++i)
        if (kDurations[i].seconds == *vm.turntableDurationSec) selected = int(i);
    const auto row = beginTrailingControlRow("Duration", kDurationWidth, segmentedControlHeight());
    if (auto pressed = segmentedControl("Duration", titles, selected, kDurationWidth))
        vm.turntableDurationSec = kDurations[size_t(*pressed)].seconds;
    endTrailingControlRow(row);
}

void moodControls(StudioViewModel& vm) {
    static const std::vector<std::string> rows = [] {
        std::vector<std::string> out;
        for (const MoodRow& r : kMoodRows) out.emplace_back(r.title);
        return out;
    }();
    int selected = -1;
    for (size_t i = 0; i < kMoodRows.size(); ++i)
        if (kMoodRows[i].mood == *vm.musicMood) selected = int(i);
    if (auto chosen = picker("Score Mood", "Score Mood", rows, selected)) vm.musicMood = kMoodRows[size_t(*chosen)].mood;

    const bool previewing = *vm.isPreviewingMusic;
    if (secondaryActionButton("Audition", previewing ? "Pause Score Preview" : "Audition Score",
                              previewing ? "speaker.slash.fill" : "speaker.wave.2.fill"))
        vm.toggleMusicPreview();
}

void exportProgressBox(StudioViewModel& vm) {
    Card card("Export Progress", progressBoxStyle());
    progressBar("Progress Bar", *vm.exportProgress, 0, UiPalette::cyan);
    text("Progress Text", exportProgressText(*vm.exportLabel, *vm.exportProgress),
         FontSpec{11, FontWeight::regular, true}, UiPalette::cyan);
}

}  // namespace

void drawCinemaTab(StudioViewModel& vm) {
    ProbeScope scope("Cinema");
    sectionHeader("Turntable Cinema Render");
    formatPicker(vm);
    durationRow(vm);

    bool includeScore = *vm.includeMusicScore;
    if (toggle("Include Royalty-Free Soundtrack", "Include Royalty-Free Soundtrack", includeScore, FontSpec{12}))
        vm.includeMusicScore = includeScore;
    // The mood controls vanish rather than grey out; a running preview keeps playing.
    if (*vm.includeMusicScore) moodControls(vm);

    const bool exporting = *vm.isExporting;
    if (exporting) exportProgressBox(vm);

    if (primaryButton("Render Turntable MP4...", "Render Turntable MP4...", "film.fill", !exporting))
        vm.exportTurntableMP4Panel();
    if (secondaryActionButton("Batch Render Featured Kits...", "Batch Render Featured Kits...",
                              "square.stack.3d.down.right.fill", !exporting))
        vm.exportBatchTurntablesPanel();
    if (secondaryActionButton("Export High-Res Still PNG...", "Export High-Res Still PNG...", "camera.aperture"))
        vm.exportStillPNGPanel();
}

}  // namespace kestrelune::inspector
