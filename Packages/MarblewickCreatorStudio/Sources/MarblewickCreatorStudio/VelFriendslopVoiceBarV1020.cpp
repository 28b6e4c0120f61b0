#include "MarblewickCreatorStudio/VelFriendslopVoiceBarV1020.h"

#include <algorithm>

#include "PlatformKit/Ui/UiLayout.h"
#include "PlatformKit/Ui/UiTintedControls.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace creator {

using namespace pk::ui;
using Bar = VelFriendslopVoiceBarV1020;

namespace {

constexpr float kSpacing = 8, kDotSpacing = 5, kDot = 9, kHaloScale = 1.55f;
constexpr float kChipPadH = 8, kChipPadV = 4, kBarPadH = 10, kBarPadV = 6;

const FontSpec kChipFont{11, FontWeight::black, false, FontDesign::monospaced};
const FontSpec kButtonFont{11, FontWeight::bold};

struct VoiceButton {
    const char* title;
    const char* symbol;
    pk::Color color;
};

VoiceButton voiceButton(bool on) {
    return on ? VoiceButton{"3D Voice", "waveform.circle.fill", UiPalette::green}
              : VoiceButton{"Voice Off", "speaker.slash.fill", UiPalette::secondaryLabel};
}

ImVec2 chipSize(const std::string& code) {
    const ImVec2 t = measureStyledText(code, kChipFont);
    return ImVec2(t.x + 2 * kChipPadH, t.y + 2 * kChipPadV);
}

ImVec2 dotsSize(size_t count) {
    if (count == 0) return ImVec2(0, 0);
    return ImVec2(float(count) * kDot + float(count - 1) * kDotSpacing, kDot);
}

}  // namespace

bool Bar::isSpeaking(const VelProximityVoiceSpeakerV1020& s, bool voiceEnabled) {
    return s.voiceActivityLevel > 0.2f && !s.isMuted && voiceEnabled;
}

ImVec2 Bar::size() const {
    const VoiceButton b = voiceButton(*lobby.isProximityVoiceEnabled);
    const ImVec2 chip = chipSize(*lobby.roomCode);
    const ImVec2 button = measureTintedButton(b.title, b.symbol, kButtonFont, ButtonProminence::plain);
    const ImVec2 dots = dotsSize(lobby.speakers->size());
    const float gaps = dots.x > 0 ? 2 * kSpacing : kSpacing;
    return ImVec2(chip.x + button.x + dots.x + gaps + 2 * kBarPadH,
                  std::max({chip.y, button.y, dots.y}) + 2 * kBarPadV);
}

void Bar::body() {
    ProbeScope scope("voiceBar");
    const bool voiceOn = *lobby.isProximityVoiceEnabled;
    const VoiceButton b = voiceButton(voiceOn);
    const std::string& code = *lobby.roomCode;
    const auto& speakers = *lobby.speakers;
    ImDrawList* dl = ImGui::GetWindowDrawList();

    bool flip = false;
    std::vector<StackItem> row;
    const ImVec2 chip = chipSize(code);
    row.push_back({chip, [&] {
                       const ImVec2 a = ImGui::GetCursorScreenPos();
                       fillShape(dl, a, ImVec2(a.x + chip.x, a.y + chip.y), Shape::capsuleShape(),
                                 withOpacity(UiPalette::cyan, 0.16));
                       ImGui::SetCursorScreenPos(ImVec2(a.x + kChipPadH, a.y + kChipPadV));
                       styledText("roomCode", code, kChipFont, UiPalette::cyan);
                   }});
    row.push_back({measureTintedButton(b.title, b.symbol, kButtonFont, ButtonProminence::plain), [&] {
                       flip = tintedButton("voice", b.title, b.symbol, kButtonFont, b.color, ButtonProminence::plain);
                   }});
    if (!speakers.empty())
        row.push_back({dotsSize(speakers.size()), [&] {
                           ImVec2 a = ImGui::GetCursorScreenPos();
                           for (const auto& s : speakers) {
                               const bool speaking = isSpeaking(s, voiceOn);
                               const pk::Color fill = speaking   ? UiPalette::green
                                                      : s.isMuted ? withOpacity(UiPalette::red, 0.6)
                                                                  : white(0.25);
                               const ImVec2 c(a.x + kDot * 0.5f, a.y + kDot * 0.5f);
                               dl->AddCircleFilled(c, kDot * 0.5f, toImU32(fill), 20);
                               // The halo is always there, scaled up and shown only while speaking.
                               if (speaking)
                                   dl->AddCircle(c, kDot * 0.5f * kHaloScale, toImU32(withOpacity(UiPalette::green, 0.9)),
                                                 24, 2.0f);
                               reportRect("dot:" + s.id, ControlKind::custom, a, ImVec2(a.x + kDot, a.y + kDot),
                                          s.displayName, {}, ControlState{speaking, true}, colorValue(fill));
                               a.x += kDot + kDotSpacing;
                           }
                       }});
    // The bar is sized from the row it holds (as size() measures it).
    const ImVec2 content = hstackSize(row, kSpacing);
    const ImVec2 barSize(content.x + 2 * kBarPadH, content.y + 2 * kBarPadV);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 barMax(origin.x + barSize.x, origin.y + barSize.y);
    fillShape(dl, origin, barMax, Shape::capsuleShape(), UiPalette::ultraThinMaterial);
    strokeShape(dl, origin, barMax, Shape::capsuleShape(), white(0.18), 1.0f);
    reportRect("bar", ControlKind::panel, origin, barMax, {}, {}, {}, colorValue(white(0.18)));

    ImGui::SetCursorScreenPos(ImVec2(origin.x + kBarPadH, origin.y + kBarPadV));
    hstack(row, kSpacing, barSize.x - 2 * kBarPadH);
    ImGui::SetCursorScreenPos(origin);
    ImGui::Dummy(barSize);
    if (flip) lobby.isProximityVoiceEnabled = !voiceOn;
}

}  // namespace creator
