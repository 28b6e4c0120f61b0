#pragma once
// PlatformKit Ui in one include. How the pieces fit:
//
// - UiContext: one per window (ImGui context, no ini file, dark style, FontLibrary, probe,
//   swatch cache). Ask fonts with ctx.font(size, weight, monospacedDigits); a new spec is
//   built between frames, so ask for the studio's specs once before the first frame.
// - Window: SdlWindowHost::create() makes the SDL window, GL 4.5 core context and ImGui
//   backends; per loop call pollEvents(), then renderFrame(build). Own GL calls: epoxy.
// - Views: plain ImGui plus the kit (UiWidgets.h); every kit control reports itself to
//   the probe. Wrap a pane in ProbeScope("pane") so ids read "pane/control".
// - Tests: UiDriver(ctx, view) runs headless frames and clicks/drags/types at probe ids;
//   OffscreenUiRenderer draws the last frame into pixels on a current GL context.
// - Panels: FilePanels interface; ImGuiFilePanels::draw() once per frame after the view;
//   ScriptedFilePanels for view-model tests.
#include "PlatformKit/Ui/FilePanels.h"
#include "PlatformKit/Ui/ImGui.h"
#include "PlatformKit/Ui/OffscreenUiRenderer.h"
#include "PlatformKit/Ui/SdlWindowHost.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiFonts.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "PlatformKit/Ui/UiProbe.h"
#include "PlatformKit/Ui/UiSymbols.h"
#include "PlatformKit/Ui/UiTextures.h"
#include "PlatformKit/Ui/UiWidgets.h"
