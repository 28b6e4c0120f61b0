#pragma once
// The inspector's recurring pieces beyond the Ui kit's own (section headers, slider
// blocks, value rows and primary buttons come from the kit): the secondary action
// button, the divider, the tab-bar and rig-card labels, a row with a label left and a
// fixed-width control right, and the cards. Every piece is stateless and reports itself
// to the Ui probe.
#include <string_view>

#include "PlatformKit/Ui/UiCard.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune::inspector {

// A plain button with the secondary label (white 8 % fill, white 12 % stroke, 11 medium),
// stretched to the full width unless `width` is given.
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
