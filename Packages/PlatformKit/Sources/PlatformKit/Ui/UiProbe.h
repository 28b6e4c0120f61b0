#pragma once
// What each control drew in a frame, so views are tested without pixels: every widget of
// the kit reports {id, kind, rectangle, text, symbol, selected, enabled, visible}.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pk::ui {

struct ControlKind {
    enum Case : uint8_t {
        button, toggle, slider, segmentedControl, segment, textField, picker, menu, menuItem,
        text, valueRow, sectionHeader, swatch, image, progress, panel, custom,
    };
    constexpr ControlKind(Case c = custom) : value(c) {}
    constexpr operator Case() const { return value; }
    std::string_view rawValue() const;
    static std::optional<ControlKind> fromRaw(std::string_view raw);
    static const std::array<ControlKind, 17> allCases;
    Case value;
};

struct ProbeRect {
    float x = 0, y = 0, width = 0, height = 0;
    float centerX() const { return x + width * 0.5f; }
    float centerY() const { return y + height * 0.5f; }
    float maxX() const { return x + width; }
    float maxY() const { return y + height; }
    bool operator==(const ProbeRect&) const = default;
};

struct ProbeRecord {
    std::string id;      // scope path + "/" + the control's own id
    ControlKind kind;
    ProbeRect rect;      // screen points
    std::string text;    // the title or text as drawn
    std::string symbol;  // the platform symbol name, empty when none
    bool selected = false;
    bool enabled = true;
    bool visible = true;  // false when clipped away (scrolled out, outside its window)
    std::string value;   // current value as text (sliders, fields, pickers)
};

class UiProbe {
public:
    void beginFrame();
    void endFrame();
    void report(ProbeRecord record);  // record.id is the control's own id; scoped here

    void pushScope(std::string_view name);
    void popScope();
    std::string scopedId(std::string_view local) const;

    // The last finished frame.
    const std::vector<ProbeRecord>& records() const { return last_; }
    const ProbeRecord* find(std::string_view id) const;
    const ProbeRecord* findText(std::string_view text) const;
    std::vector<const ProbeRecord*> ofKind(ControlKind kind) const;
    // Records whose id starts with `prefix`, in drawing order.
    std::vector<const ProbeRecord*> withPrefix(std::string_view prefix) const;

private:
    std::vector<ProbeRecord> building_, last_;
    std::vector<std::string> scopes_;
};

// RAII scope for probe ids and ImGui ids alike.
class ProbeScope {
public:
    explicit ProbeScope(std::string_view name);
    ~ProbeScope();
    ProbeScope(const ProbeScope&) = delete;
    ProbeScope& operator=(const ProbeScope&) = delete;
};

}  // namespace pk::ui
