#include <gtest/gtest.h>

#include "MarblewickCreatorStudio/VelFriendslopVoiceBarV1020.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "PlatformKit/Ui/UiTintedControls.h"

using namespace creator;
using namespace pk::ui;
using Lobby = VelFriendslopLobbyControllerV1020;

namespace {

// A random source that answers from a script and records the bounds it was asked for.
struct ScriptedRandom {
    std::vector<uint32_t> answers;
    std::vector<uint32_t> bounds;
    Lobby::RandomSource source() {
        return [this](uint32_t bound) {
            bounds.push_back(bound);
            const uint32_t v = answers.empty() ? 0 : answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
            return v;
        };
    }
};

std::vector<float> levels(const Lobby& lobby) {
    std::vector<float> out;
    for (const auto& s : *lobby.speakers) out.push_back(s.voiceActivityLevel);
    return out;
}

}  // namespace

TEST(LobbyController, RoomCodesComeFromTheRandomSource) {
    ScriptedRandom random{{0, 8999, 4321}, {}};
    Lobby lobby("NYC", "Ava", random.source());
    EXPECT_EQ(*lobby.roomCode, "NYC-1000");
    EXPECT_EQ(*lobby.connectionBanner, "4P Drop-In Ready \u00B7 Spatial Voice ON");
    lobby.regenerateRoomCode("SOHO");
    EXPECT_EQ(*lobby.roomCode, "SOHO-9999");
    EXPECT_EQ(*lobby.connectionBanner, "New 4P Room SOHO-9999 Open!");
    lobby.regenerateRoomCode("NYC");
    EXPECT_EQ(*lobby.roomCode, "NYC-5321");
    EXPECT_EQ(random.bounds, (std::vector<uint32_t>{9000, 9000, 9000}));

    // The system source stays in range.
    Lobby real("NYC", "Ava");
    for (int i = 0; i < 50; ++i) {
        real.regenerateRoomCode("NYC");
        const int n = std::stoi(real.roomCode->substr(4));
        ASSERT_GE(n, 1000);
        ASSERT_LE(n, 9999);
    }
}

TEST(LobbyController, PulseTable) {
    struct Case {
        const char* name;
        float t;
        bool voiceOn, micLive;
        std::vector<std::string> muted;
        std::vector<float> expected;  // p1 (local), p2, p3, p4
    };
    const std::vector<Case> cases = {
        {"start", 0.0f, true, true, {}, {0.18f, 0.65774f, 0.04f, 0.04f}},
        {"microphone off", 0.0f, true, false, {}, {0.0f, 0.65774f, 0.04f, 0.04f}},
        {"third teammate peaks", 0.3974f, true, true, {}, {0.41578f, 0.04f, 0.04f, 0.94498f}},
        {"second teammate talks", 1.0f, true, true, {}, {0.19040f, 0.04f, 0.73229f, 0.04f}},
        {"muted speakers are silent", 0.0f, true, true, {"p1", "p2"}, {0.0f, 0.0f, 0.04f, 0.04f}},
        {"voice off silences everyone", 0.5f, false, true, {}, {0.0f, 0.0f, 0.0f, 0.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lobby lobby("NYC", "Ava");
        lobby.isProximityVoiceEnabled = c.voiceOn;
        lobby.isMicLive = c.micLive;
        for (const auto& id : c.muted) lobby.toggleMute(id);
        lobby.pulseSimulatedChatter(c.t);
        const auto got = levels(lobby);
        ASSERT_EQ(got.size(), c.expected.size());
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.expected[i], 2e-5f) << "speaker " << i;
    }

    Lobby empty("NYC", "Ava");
    empty.speakers = std::vector<VelProximityVoiceSpeakerV1020>{};
    empty.pulseSimulatedChatter(1.0f);
    EXPECT_TRUE(empty.speakers->empty());
}

TEST(LobbyController, SpeakersAndMute) {
    Lobby lobby("NYC", "Ava");
    ASSERT_EQ(lobby.speakers->size(), 4u);
    const auto& local = lobby.speakers->front();
    EXPECT_EQ(local.displayName, "Ava");
    EXPECT_TRUE(local.isLocalPlayer);
    EXPECT_EQ(lobby.speakers->at(3).displayName, "Dex (Winch)");
    EXPECT_EQ(lobby.speakers->at(3).occludingWalls, 1);
    const auto before = *lobby.speakers;
    lobby.toggleMute("nobody");
    EXPECT_EQ(*lobby.speakers, before);
    lobby.toggleMute("p2");
    EXPECT_TRUE(lobby.speakers->at(1).isMuted);
    lobby.toggleMute("p2");
    EXPECT_EQ(*lobby.speakers, before);
}

class VoiceBarTest : public ::testing::Test {
protected:
    ScriptedRandom random{{2468}, {}};
    Lobby lobby{"NYC", "Ava", random.source()};
    VelFriendslopVoiceBarV1020 bar{lobby};
    UiContext ctx;
    UiDriver driver{ctx, [this] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration);
        ImGui::SetCursorPos(ImVec2(20, 20));
        bar.body();
        ImGui::End();
    }};

    const ProbeRecord& dot(const std::string& id) { return driver.require("voiceBar/dot:" + id); }
};

TEST_F(VoiceBarTest, ShowsTheRoomTheVoiceSwitchAndWhoIsSpeaking) {
    lobby.pulseSimulatedChatter(0.0f);
    driver.frame(2);
    const auto& chip = driver.require("voiceBar/roomCode");
    EXPECT_EQ(chip.text, "NYC-3468");
    EXPECT_EQ(chip.value, colorValue(UiPalette::cyan));
    const auto& voice = driver.require("voiceBar/voice");
    EXPECT_EQ(voice.text, "3D Voice");
    EXPECT_EQ(voice.symbol, "waveform.circle.fill");
    EXPECT_EQ(voice.value, colorValue(UiPalette::green));
    EXPECT_EQ(driver.require("voiceBar/bar").value, colorValue(white(0.18)));

    // At t = 0 only the second speaker is above 0.2.
    EXPECT_FALSE(dot("p1").selected);
    EXPECT_EQ(dot("p1").value, colorValue(white(0.25)));
    EXPECT_TRUE(dot("p2").selected);
    EXPECT_EQ(dot("p2").value, colorValue(UiPalette::green));
    EXPECT_FALSE(dot("p3").selected);
    const auto dots = driver.probe().withPrefix("voiceBar/dot:");
    ASSERT_EQ(dots.size(), 4u);
    EXPECT_LT(dots[0]->rect.x, dots[3]->rect.x);
    EXPECT_EQ(dots[0]->rect.width, 9.0f);

    // A level of exactly 0.2 is not speaking; a muted speaker shows red whatever its level.
    lobby.speakers.modify([](auto& list) {
        list[0].voiceActivityLevel = 0.2f;
        list[2].voiceActivityLevel = 0.21f;
        list[3].voiceActivityLevel = 0.9f;
        list[3].isMuted = true;
    });
    driver.frame();
    EXPECT_FALSE(dot("p1").selected);
    EXPECT_TRUE(dot("p3").selected);
    EXPECT_FALSE(dot("p4").selected);
    EXPECT_EQ(dot("p4").value, colorValue(withOpacity(UiPalette::red, 0.6)));

    // The button switches voice off: every dot goes quiet on the next pulse.
    driver.click("voiceBar/voice");
    EXPECT_FALSE(*lobby.isProximityVoiceEnabled);
    EXPECT_EQ(driver.require("voiceBar/voice").text, "Voice Off");
    EXPECT_EQ(driver.require("voiceBar/voice").symbol, "speaker.slash.fill");
    EXPECT_EQ(driver.require("voiceBar/voice").value, colorValue(UiPalette::secondaryLabel));
    lobby.pulseSimulatedChatter(0.0f);
    driver.frame();
    for (const char* id : {"p1", "p2", "p3"}) {
        EXPECT_FALSE(dot(id).selected) << id;
        EXPECT_EQ(dot(id).value, colorValue(white(0.25))) << id;
    }
    EXPECT_EQ(dot("p4").value, colorValue(withOpacity(UiPalette::red, 0.6)));
}
