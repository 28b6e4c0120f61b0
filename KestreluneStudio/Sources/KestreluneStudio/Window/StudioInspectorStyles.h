#pragma once
// The inspector's recurring pieces, drawn once here and named by the tabs: section
// headers, slider blocks with their value header, key/value rows, the two action-button
// looks, the tab-bar and rig-card labels, and a row with a label left and a fixed-width
// control right. Every piece is stateless and reports itself to the Ui probe.
#include <string_view>

#include "PlatformKit/Ui/UiCard.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune::inspector {

// Upper-cased caption, 10 pt bold, white at 50 %.
void sectionHeader(std::string_view title);
// The value header (title left, the value as "%.2f" right) over a continuous cyan slider
// on [lo, hi], probed under `title`. Writes `value` and returns true on every change the
// slider makes (never on first show).
bool sliderBlock(std::string_view title, float& value, float lo, float hi);
// Read-only fact: label (11 regular, white 58 %) left, value (11 semibold, tabular) right.
void inspectorValueRow(std::string_view label, std::string_view value);
// Plain buttons with the primary (cyan→blue gradient, black 12 semibold) and secondary
// (white 8 % fill, white 12 % stroke, 11 medium) labels, stretched to the full width.
bool primaryActionButton(std::string_view id, std::string_view title, std::string_view symbol, bool enabled = true);
bool secondaryActionButton(std::string_view id, std::string_view title, std::string_view symbol,
                           bool enabled = true, float width = 0);
// A divider in the window's divider colour.
void inspectorDivider();

// Tab-bar button label: symbol (12 pt) over title (10 pt, semibold when selected), white
// 12 % rounded fill and full white only when selected.
pk::ui::LabelStyle tabButtonStyle(bool selected, float width);
// Lighting-rig card: cyan 22 % fill and cyan 55 % stroke when selected, else white 5 % / 7 %.
pk::ui::LabelStyle rigCardStyle(bool selected, float width);

// A row with `label` (11 medium, white 72 %) at the leading edge and a control of
// `controlWidth` × `controlHeight` at the trailing edge, both centred vertically. Call
// begin, draw the control at the cursor, then end with what begin returned.
struct TrailingControlRow {
    ImVec2 origin;
    float height = 0;
};
TrailingControlRow beginTrailingControlRow(std::string_view label, float controlWidth, float controlHeight);
void endTrailingControlRow(const TrailingControlRow& row);

// Inspector cards: the audit card (white 4 % fill, 8 % stroke), the receipt card (green
// 9 % fill, 32 % stroke) and the export progress box (white 5 % fill).
pk::ui::CardStyle auditCardStyle();
pk::ui::CardStyle receiptCardStyle();
pk::ui::CardStyle progressBoxStyle();

}  // namespace kestrelune::inspector
