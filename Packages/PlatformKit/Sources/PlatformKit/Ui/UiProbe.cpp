#include "PlatformKit/Ui/UiProbe.h"

#include "PlatformKit/Ui/UiContext.h"

namespace pk::ui {

const std::array<ControlKind, 17> ControlKind::allCases{
    button, toggle, slider, segmentedControl, segment, textField, picker, menu, menuItem,
    text, valueRow, sectionHeader, swatch, image, progress, panel, custom};

std::string_view ControlKind::rawValue() const {
    static constexpr std::string_view names[] = {
        "button", "toggle", "slider", "segmentedControl", "segment", "textField", "picker", "menu",
        "menuItem", "text", "valueRow", "sectionHeader", "swatch", "image", "progress", "panel", "custom"};
    return names[value];
}

std::optional<ControlKind> ControlKind::fromRaw(std::string_view raw) {
    for (ControlKind k : allCases)
        if (k.rawValue() == raw) return k;
    return std::nullopt;
}

void UiProbe::beginFrame() {
    building_.clear();
    scopes_.clear();
}

void UiProbe::endFrame() { last_.swap(building_); }

void UiProbe::report(ProbeRecord record) {
    record.id = scopedId(record.id);
    building_.push_back(std::move(record));
}

void UiProbe::pushScope(std::string_view name) { scopes_.emplace_back(name); }
void UiProbe::popScope() {
    if (!scopes_.empty()) scopes_.pop_back();
}

std::string UiProbe::scopedId(std::string_view local) const {
    std::string out;
    for (const auto& s : scopes_) out += s + "/";
    out += local;
    return out;
}

const ProbeRecord* UiProbe::find(std::string_view id) const {
    for (const auto& r : last_)
        if (r.id == id) return &r;
    return nullptr;
}

const ProbeRecord* UiProbe::findText(std::string_view text) const {
    for (const auto& r : last_)
        if (r.text == text) return &r;
    return nullptr;
}

std::vector<const ProbeRecord*> UiProbe::ofKind(ControlKind kind) const {
    std::vector<const ProbeRecord*> out;
    for (const auto& r : last_)
        if (r.kind == kind) out.push_back(&r);
    return out;
}

std::vector<const ProbeRecord*> UiProbe::withPrefix(std::string_view prefix) const {
    std::vector<const ProbeRecord*> out;
    for (const auto& r : last_)
        if (std::string_view(r.id).substr(0, prefix.size()) == prefix) out.push_back(&r);
    return out;
}

ProbeScope::ProbeScope(std::string_view name) {
    ImGui::PushID(name.data(), name.data() + name.size());
    if (auto* c = UiContext::current()) c->probe().pushScope(name);
}

ProbeScope::~ProbeScope() {
    if (auto* c = UiContext::current()) c->probe().popScope();
    ImGui::PopID();
}

}  // namespace pk::ui
