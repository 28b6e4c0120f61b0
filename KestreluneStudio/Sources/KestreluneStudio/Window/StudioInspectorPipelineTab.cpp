// The Pipeline tab: the audit of the mesh on show, the two delivery actions (pack archive,
// OBJ) and the receipt of the last archive build.
#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioInspectorStyles.h"
#include "KestreluneStudio/Window/StudioInspectorTabs.h"
#include "KestreluneStudio/Window/StudioInspectorTexts.h"

namespace kestrelune::inspector {

using namespace pk::ui;

void drawPipelineTab(StudioViewModel& vm) {
    ProbeScope scope("Pipeline");
    sectionHeader("Production Asset Audit");
    if (const auto& audit = *vm.activeAudit) {
        Card card("Audit", auditCardStyle());
        for (const auto& [label, value] : auditRows(*audit)) valueRow(label, value);
    }
    inspectorDivider();

    sectionHeader("Delivery & Packaging");
    // Neither action waits for a running export.
    if (primaryButton("Build .mwpak LZFSE Archive...", "Build .mwpak LZFSE Archive...", "archivebox.fill"))
        vm.packageMWPakPanel();
    if (secondaryActionButton("Export Universal OBJ...", "Export Universal OBJ...", "cube.transparent"))
        vm.exportOBJPanel();

    if (const auto& receipt = *vm.lastMWPakReceipt) {
        Card card("Receipt", receiptCardStyle());
        text("Receipt Title", "LAST ARCHIVE RECEIPT", FontSpec{10, FontWeight::bold}, UiPalette::green);
        for (const auto& [label, value] : archiveReceiptRows(*receipt)) valueRow(label, value);
    }
}

}  // namespace kestrelune::inspector
