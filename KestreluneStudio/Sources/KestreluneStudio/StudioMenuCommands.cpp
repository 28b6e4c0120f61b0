#include "KestreluneStudio/StudioMenuCommands.h"

#include "KestreluneStudio/StudioViewModel.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune {

const std::array<StudioMenuCommand, 7>& studioMenuCommands() {
    static const std::array<StudioMenuCommand, 7> commands = {{
        {"importModel", "Import 3D Model...", 'i', false, false, &StudioViewModel::importExternalModelPanel},
        {"forgeFromPhoto", "Forge 4K PBR From Photo...", 'p', false, false, &StudioViewModel::importPhotoForPBRPanel},
        {"loadEnvironment", "Load .HDR Environment...", 'h', true, false, &StudioViewModel::loadCustomHDRIPanel},
        {"exportPBRPack", "Export 4-Map PBR Pack...", 'e', false, true, &StudioViewModel::exportPBRPackPanel},
        {"renderTurntable", "Render Cinema Turntable MP4...", 'r', true, false,
         &StudioViewModel::exportTurntableMP4Panel},
        {"batchRender", "Batch Render Featured Kits...", 'b', true, false,
         &StudioViewModel::exportBatchTurntablesPanel},
        {"exportArchive", "Export Compressed Asset Pack...", 'k', true, false, &StudioViewModel::packageMWPakPanel},
    }};
    return commands;
}

std::string StudioMenuCommand::shortcutText() const {
    std::string text = shift ? "Ctrl+Shift+" : "Ctrl+";
    text += static_cast<char>(key - 'a' + 'A');
    return text;
}

bool StudioMenuCommand::matches(const KeyChord& chord) const {
    return chord.key == static_cast<char32_t>(key) && chord.ctrl && chord.shift == shift && !chord.alt && !chord.super;
}

const StudioMenuCommand* studioMenuCommandFor(const KeyChord& chord) {
    for (const auto& c : studioMenuCommands())
        if (c.matches(chord)) return &c;
    return nullptr;
}

bool isQuitChord(const KeyChord& chord) {
    return chord.key == U'q' && chord.ctrl && !chord.shift && !chord.alt && !chord.super;
}

float drawStudioMenuBar(StudioViewModel& vm, const std::function<void()>& quit) {
    float height = 0;
    if (!ImGui::BeginMainMenuBar()) return height;
    height = ImGui::GetWindowSize().y;
    if (pk::ui::beginMenu("file", "File")) {
        for (const auto& c : studioMenuCommands()) {
            if (c.dividerBefore) ImGui::Separator();
            if (pk::ui::menuItem(c.id, c.title, c.shortcutText())) (vm.*c.operation)();
        }
        ImGui::Separator();
        if (pk::ui::menuItem("quit", kQuitTitle, kQuitShortcut) && quit) quit();
        pk::ui::endMenu();
    }
    ImGui::EndMainMenuBar();
    return height;
}

}  // namespace kestrelune
