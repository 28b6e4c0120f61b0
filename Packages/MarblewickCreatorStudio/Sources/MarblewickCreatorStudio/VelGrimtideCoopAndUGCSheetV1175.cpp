#include "MarblewickCreatorStudio/VelGrimtideCoopAndUGCSheetV1175.h"

#include <algorithm>

#include "PlatformKit/Ui/UiLayout.h"
#include "PlatformKit/Ui/UiTintedControls.h"

namespace creator {

using namespace pk::ui;
using Sheet = VelGrimtideCoopAndUGCSheetV1175;
using Map = VelUGCRaidMapRecordV1175;

namespace {

constexpr float kPadding = 16;  // the platform's standard padding
constexpr float kCardRadius = 14;
const FontSpec kTextFieldFont{12};
const std::string kTabs[] = {"4P Co-Op & 3D Voice", "Community Raid Maps"};

// The default tint of a bordered button.
constexpr pk::Color kPlainTint = UiPalette::label;

StackItem textItem(std::string id, std::string text, FontSpec font, pk::Color color) {
    const ImVec2 size = measureStyledText(text, font);
    return {size, [id = std::move(id), text = std::move(text), font, color] { styledText(id, text, font, color); }};
}

StackItem labelItem(std::string id, std::string title, std::string symbol, FontSpec font, pk::Color color) {
    const ImVec2 size = measureTintedLabel(title, symbol, font);
    return {size, [=] { tintedLabel(id, title, symbol, font, color); }};
}

StackItem buttonItem(std::string id, std::string title, FontSpec font, pk::Color tint, ButtonProminence prominence,
                     std::function<void()> onPress, std::function<void()>& action) {
    const ImVec2 size = measureTintedButton(title, {}, font, prominence);
    return {size, [=, &action] {
                if (tintedButton(id, title, {}, font, tint, prominence)) action = onPress;
            }};
}

Card card(std::string_view id, float width, float spacing) {
    CardStyle style;
    style.width = width;
    style.spacing = spacing;
    style.padding = kPadding;
    style.shape = Shape::rounded(kCardRadius);
    style.fill = UiPalette::ultraThinMaterial;
    return Card(id, style);
}

}  // namespace

Sheet::VelGrimtideCoopAndUGCSheetV1175(DeployHandler onDeployMap, std::function<void()> onDismiss)
    : Sheet(VelLiveMultipeerCoopManagerV1170::shared(), VelCloudKitUGCBrowserStoreV1175::shared(),
            std::move(onDeployMap), std::move(onDismiss)) {}

Sheet::VelGrimtideCoopAndUGCSheetV1175(VelLiveMultipeerCoopManagerV1170& coop, VelCloudKitUGCBrowserStoreV1175& ugc,
                                       DeployHandler onDeployMap, std::function<void()> onDismiss)
    : coop(coop), ugc(ugc), onDeployMap(std::move(onDeployMap)), onDismiss(std::move(onDismiss)) {}

std::string Sheet::locationText(const VelRemoteCoopAvatarV1170& a) {
    if (a.isIndoorsMercy) return "MERCY LOBBY";
    if (a.inWarthogSeat < 0) return "6TH AVE";
    return "WARTHOG SEAT " + std::to_string(a.inWarthogSeat);
}

void Sheet::body() {
    ProbeScope scope("coopSheet");
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const ImVec2 size(std::max(avail.x, minWidth), std::max(avail.y, minHeight));
    // Buttons only note what they do; it runs once the frame's reads of the models are done.
    std::function<void()> action;

    ImGui::PushStyleColor(ImGuiCol_ChildBg, toImVec4(UiPalette::windowBackground));
    ImGui::BeginChild("##coopSheet", size, false, ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    ImGui::PopStyleColor();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float inner = size.x - 2 * kPadding;

    // Title bar: the navigation title with the confirmation action at the trailing end.
    ImGui::SetCursorScreenPos(ImVec2(origin.x + kPadding, origin.y + 12));
    hstack({textItem("title", "Grim Tide Squad & Raids", TextStyle::headline(), UiPalette::label), StackItem::spacer(),
            buttonItem("done", "Done", TextStyle::body(), UiPalette::blue, ButtonProminence::prominent,
                       [this] { if (onDismiss) onDismiss(); }, action)},
           8, inner);

    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(8, 14));
    ImGui::SetCursorScreenPos(ImVec2(origin.x + kPadding, ImGui::GetCursorScreenPos().y + 8));
    const ImVec2 modeSize = measureStyledText("Mode", TextStyle::body());
    const float pickerWidth = inner - modeSize.x - 8;
    hstack({textItem("modeLabel", "Mode", TextStyle::body(), UiPalette::label),
            {ImVec2(pickerWidth, TextStyle::body().size + 12),
             [&] {
                 if (auto pressed = segmentedControl("mode", kTabs, selectedTab, pickerWidth, TextStyle::body()))
                     selectedTab = *pressed;
             }}},
           8, inner);

    ImGui::SetCursorScreenPos(ImVec2(origin.x, ImGui::GetCursorScreenPos().y));
    ImGui::BeginChild("##tab", ImVec2(size.x, std::max(ImGui::GetContentRegionAvail().y, 1.0f)), false);
    const float tabWidth = ImGui::GetContentRegionAvail().x;
    if (selectedTab == 0)
        coopTab(tabWidth, action);
    else
        mapsTab(tabWidth, action);
    ImGui::EndChild();
    ImGui::PopStyleVar();
    ImGui::EndChild();

    if (action) action();
}

void Sheet::coopTab(float width, std::function<void()>& action) {
    ProbeScope scope("coop");
    const float cardWidth = width - 2 * kPadding;
    const float x = ImGui::GetCursorPosX() + kPadding;

    ImGui::SetCursorPosX(x);
    {
        Card session = card("sessionCard", cardWidth, 8);
        const float cw = session.contentWidth();
        styledText("header", "4-PLAYER WARTHOG CONVOY \u00B7 ZERO-CONFIG LAN & WI-FI", TextStyle::caption(FontWeight::bold),
                   UiPalette::cyan, cw);
        styledText("status", *coop.statusText, TextStyle::subheadline(), UiPalette::secondaryLabel, cw);
        const bool active = *coop.isSessionActive;
        const ImVec2 fieldSize(160, measureStyledText("Ag", kTextFieldFont).y + 2 * ImGui::GetStyle().FramePadding.y);
        hstack({{fieldSize, [&] { textField("roomCode", "Room Code", roomInput, fieldSize.x, kTextFieldFont); }},
                buttonItem("lobby", active ? "Stop Lobby" : "Host / Join Room", TextStyle::body(),
                           active ? UiPalette::red : UiPalette::cyan, ButtonProminence::prominent,
                           [this, active] {
                               if (active) coop.stopCoopLobby();
                               else coop.startCoopLobby(roomInput);
                           },
                           action)},
               10, cw);
    }

    ImGui::SetCursorPosX(x);
    {
        Card voice = card("voiceCard", cardWidth, 10);
        const float cw = voice.contentWidth();
        const bool micOn = *coop.isVoiceMicEnabled;
        hstack({labelItem("voiceLabel", "3D Spatial Proximity Voice (4:1 ADPCM)", micOn ? "mic.fill" : "mic.slash.fill",
                          TextStyle::headline(), micOn ? UiPalette::green : UiPalette::label),
                StackItem::spacer(),
                {kSwitchSize,
                 [&] {
                     bool value = micOn;
                     if (switchControl("mic", value)) action = [this, value] { coop.setVoiceMicEnabled(value); };
                 }}},
               8, cw);
        styledText("voiceNote",
                   "Voices pan binaurally to each squadmate's 3D position on 6th Ave and muffle realistically when "
                   "teammates duck inside Mercy Hospital Lobby.",
                   TextStyle::caption(), UiPalette::secondaryLabel, cw);
    }

    ImGui::SetCursorPosX(x);
    {
        Card squad = card("squadCard", cardWidth, 8);
        const float cw = squad.contentWidth();
        const auto& avatars = *coop.remoteAvatars;
        hstack({textItem("squadHeader", "ACTIVE SQUADMATES (" + std::to_string(avatars.size() + 1) + "/4)",
                         TextStyle::caption(FontWeight::bold), UiPalette::orange),
                StackItem::spacer(),
                buttonItem("bots", "Toggle Solo Bot Convoy", TextStyle::caption(FontWeight::semibold), kPlainTint,
                           ButtonProminence::bordered, [this] { coop.toggleSoloConvoyBotPreview(); }, action)},
               8, cw);
        const std::string localName = coop.gameCenterPlayerName->value_or("You (Squad Leader)");
        hstack({labelItem("local/icon", {}, "person.fill.checkmark", TextStyle::body(), UiPalette::green),
                textItem("local/name", localName, TextStyle::subheadline(FontWeight::semibold), UiPalette::label),
                StackItem::spacer(),
                textItem("local/badge", "LOCAL", TextStyle::caption2(FontWeight::bold), UiPalette::cyan)},
               8, cw);
        for (size_t i = 0; i < avatars.size(); ++i) {
            const auto& a = avatars[i];
            const std::string row = "avatar:" + a.id + "/";
            ImGui::PushID(int(i));
            hstack({labelItem(row + "icon", {}, a.carryingWendmoorCore ? "bolt.circle.fill" : "person.fill",
                              TextStyle::body(), a.carryingWendmoorCore ? UiPalette::cyan : UiPalette::orange),
                    textItem(row + "callsign", a.callsign, TextStyle::subheadline(FontWeight::semibold), UiPalette::label),
                    StackItem::spacer(),
                    textItem(row + "location", locationText(a), TextStyle::caption2(FontWeight::bold),
                             UiPalette::secondaryLabel)},
                   8, cw);
            ImGui::PopID();
        }
    }
}

void Sheet::mapsTab(float width, std::function<void()>& action) {
    ProbeScope scope("maps");
    const float inner = width - 2 * kPadding;
    const float x = ImGui::GetCursorPosX() + kPadding;
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(8, 12));

    ImGui::SetCursorPosX(x);
    std::vector<StackItem> header{textItem("status", *ugc.statusMessage, TextStyle::caption(), UiPalette::cyan),
                                  StackItem::spacer()};
    if (ugc.activeDeployedMapID->has_value())
        header.push_back(buttonItem("clear", "Clear", TextStyle::caption(), kPlainTint, ButtonProminence::bordered,
                                    [this] { ugc.clearDeployedMap(); }, action));
    hstack(header, 8, inner);

    const auto& maps = *ugc.maps;
    const auto& deployed = *ugc.activeDeployedMapID;
    for (size_t i = 0; i < maps.size(); ++i) {
        const Map& map = maps[i];
        const std::string row = "map:" + map.id + "/";
        const bool live = deployed == map.id;
        ImGui::PushID(int(i));
        ImGui::SetCursorPosX(x);
        {
            Card c = card(row + "card", inner, 6);
            const float cw = c.contentWidth();
            hstack({textItem(row + "title", map.title, TextStyle::headline(), UiPalette::label), StackItem::spacer(),
                    labelItem(row + "likes", std::to_string(map.likes), "flame.fill", TextStyle::caption(FontWeight::bold),
                              UiPalette::orange)},
                   8, cw);
            styledText(row + "byline",
                       map.district + " \u00B7 by " + map.authorCallsign + " \u00B7 " +
                           std::to_string(map.placements.size()) + " tactical props",
                       TextStyle::caption(FontWeight::semibold), UiPalette::cyan, cw);
            styledText(row + "summary", map.summary, TextStyle::caption(), UiPalette::secondaryLabel, cw);
            ImGui::SetCursorPosY(ImGui::GetCursorPosY() + 2);
            std::vector<StackItem> actions{
                buttonItem(row + "deploy", live ? "Active on 6th Ave \u2713" : "Deploy Live on 6th Ave", TextStyle::body(),
                           live ? UiPalette::green : UiPalette::orange, ButtonProminence::prominent,
                           [this, i] {
                               // Runs later in the same frame, before the list can change.
                               if (i >= ugc.maps->size()) return;
                               const Map pressed = (*ugc.maps)[i];
                               ugc.deployMapLive(pressed);
                               if (onDeployMap) onDeployMap(pressed);
                           },
                           action),
                StackItem::spacer()};
            // The platform's cloud product is not named here: this build has its own Cloud.
            if (map.syncedToCloudKit)
                actions.push_back(
                    labelItem(row + "cloud", "Cloud", "icloud.fill", TextStyle::caption2(), UiPalette::secondaryLabel));
            hstack(actions, 8, cw);
        }
        ImGui::PopID();
    }
    ImGui::Dummy(ImVec2(1, 16 - 12));  // bottom padding beyond the stack's spacing
    ImGui::PopStyleVar();
}

}  // namespace creator
