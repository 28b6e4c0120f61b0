#pragma once
// The studio's main window: a top bar (title, shading modes, turntable and facecam
// toggles) over three columns: the asset and material browser (248 points), the
// viewport with its heads-up display and PBR map strip, and the inspector (308 points).
// Drawn every frame from the view model; every control writes a published property and
// syncs the scene, resynthesizes, or calls an operation. The view's own state is only
// its two tab selections, the map strip's show/hide animation, the textures it keeps
// for the images it shows and the browser's filtered list, made again after a change.
#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "KestreluneStudio/Window/StudioInspectorPane.h"
#include "KestreluneStudio/Window/StudioViewportSeams.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"
#include "PlatformKit/Image/Image.h"
#include "PlatformKit/Ui/ImGui.h"

namespace pk::ui {
class TextureFactory;
class UiContext;
}

namespace kestrelune {

class StudioViewModel;

enum class LeftBrowserTab { assets, materials };

inline constexpr std::array<LeftBrowserTab, 2> kLeftBrowserTabAllCases{LeftBrowserTab::assets,
                                                                         LeftBrowserTab::materials};

std::string_view rawValue(LeftBrowserTab tab);
std::optional<LeftBrowserTab> leftBrowserTabFromRaw(std::string_view raw);

class StudioMainView {
public:
    // `staticViewportOverride`, when given, is shown stretched over the viewport area in
    // place of the live viewport (no camera input, no drops). Cannot fail.
    explicit StudioMainView(StudioViewModel& vm,
                            std::optional<pk::image::RgbaImage> staticViewportOverride = std::nullopt);
    ~StudioMainView();
    StudioMainView(const StudioMainView&) = delete;
    StudioMainView& operator=(const StudioMainView&) = delete;

    // The application's live viewport (not owned; null shows the viewport's clear colour).
    void setLiveViewport(StudioLiveViewport* viewport) { liveViewport_ = viewport; }
    // Makes the creator overlay while the facecam flag is on (none: nothing is laid over).
    void setCreatorOverlayFactory(StudioCreatorOverlayFactory factory) { overlayFactory_ = std::move(factory); }

    // Draws the whole window content into [origin, origin + size] (screen points), inside a
    // frame of the current UiContext.
    void draw(ImVec2 origin, ImVec2 size);

    LeftBrowserTab leftTab() const { return leftTab_; }
    InspectorTab inspectorTab() const { return inspectorTab_; }
    void setInspectorTab(InspectorTab tab) { inspectorTab_ = tab; }
    bool hasStaticViewportOverride() const { return staticViewportOverride_.has_value(); }
    // True while a creator overlay exists.
    bool hasCreatorOverlay() const { return overlay_ != nullptr; }

    // Asks `ctx` for every font the window uses, so they are built before the first frame.
    static void prepareFonts(pk::ui::UiContext& ctx);
    // The texts of the creator overlay.
    static const StudioCreatorOverlayTexts& creatorOverlayTexts();
    // How long the map strip takes to show or hide, in seconds.
    static constexpr double kMapStripAnimationSeconds = 0.18;

private:
    // Screen rectangles of the window's parts for one frame.
    struct Layout {
        ImVec2 origin, size;
        float topBarHeight = 0;
        ImVec2 leftMin, leftMax, centreMin, centreMax, rightMin, rightMax;
    };

    void topBar(const Layout& layout);
    void leftBrowserPane(const Layout& layout);
    void assetList(ImVec2 min, ImVec2 max);
    // The view model's filtered assets, filtered again only after the list or the query
    // changed.
    const std::vector<lookdev::StudioAssetItem>& filteredAssets();
    void materialGrid(ImVec2 min, ImVec2 max);
    void viewportPane(const Layout& layout);
    void viewportHud(ImVec2 min, ImVec2 max);
    void pbrMapStrip(ImVec2 min, ImVec2 max);
    // ConditionalFacecamModifier: the overlay exists exactly while `enabled`.
    void conditionalFacecamModifier(bool enabled, ImVec2 min, ImVec2 max);

    float topBarHeight() const;
    float mapStripHeight() const;
    // How far the map strip is shown (0..1), following its animation.
    float mapStripReveal();
    void toggleMapStrip();

    // The texture in `slot` for `image`, made on first use; none (and the slot emptied)
    // without an image.
    ImTextureID textureFor(ImTextureID& slot, const pk::image::RgbaImage* image);
    void releaseTextures();
    void requestFonts();

    StudioViewModel& vm_;
    std::optional<pk::image::RgbaImage> staticViewportOverride_;
    LeftBrowserTab leftTab_ = LeftBrowserTab::assets;
    InspectorTab inspectorTab_ = InspectorTab::material;

    StudioLiveViewport* liveViewport_ = nullptr;
    StudioCreatorOverlayFactory overlayFactory_;
    std::unique_ptr<StudioCreatorOverlay> overlay_;

    // Map strip animation: from `stripFrom_` to `stripTo_` starting at `stripStart_`
    // (ImGui time); the target always follows the view model's flag.
    float stripFrom_ = 1, stripTo_ = 1;
    double stripStart_ = -1;

    // Textures of the shown images, made on first use and again after a change.
    pk::ui::TextureFactory* textureFactory_ = nullptr;
    ImTextureID overrideTexture_ = nullptr;
    std::array<ImTextureID, 4> previewTextures_{};
    bool previewsDirty_ = true;
    int previewsObserver_ = 0;

    std::vector<lookdev::StudioAssetItem> filteredAssets_;
    bool filteredDirty_ = true;
    int assetsObserver_ = 0, queryObserver_ = 0;
    bool fontsRequested_ = false;
};

}  // namespace kestrelune
