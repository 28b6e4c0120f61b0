#pragma once
// Dear ImGui (Debian's 1.86), re-exported on purpose: views are written in ImGui directly
// and reach the studio look through the Ui widget kit.
#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>
