#include "PlatformKit/Ui/FilePanels.h"

#include <algorithm>
#include <system_error>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiInputQueue.h"
#include "PlatformKit/Ui/UiSymbols.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace pk::ui {

bool FileType::matches(const fs::path& file) const {
    std::string ext = lowerExtension(file);
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

FileType FileType::png() { return {"PNG image", {"png"}}; }
FileType FileType::jpeg() { return {"JPEG image", {"jpg", "jpeg"}}; }
FileType FileType::heic() { return {"HEIC image", {"heic", "heif"}}; }
FileType FileType::tiff() { return {"TIFF image", {"tiff", "tif"}}; }
FileType FileType::mpeg4Movie() { return {"MPEG-4 movie", {"mp4"}}; }
FileType FileType::plainText() { return {"Plain text", {"txt", "text"}}; }
FileType FileType::forExtension(std::string extension) {
    extension = asciiLower(extension);
    return {extension + " file", {extension}};
}

// ---- ImGui panel ------------------------------------------------------------------------

namespace {
const char* kPopupId = "##filePanel";

bool enterPressed() {
    return ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) ||
           ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter), false);
}

bool typeAllowed(const FilePanelRequest& r, const fs::path& file) {
    if (r.allowedTypes.empty()) return true;
    for (const auto& t : r.allowedTypes)
        if (t.matches(file)) return true;
    return false;
}
}  // namespace

bool ImGuiFilePanels::present(FilePanelRequest request, FilePanelContinuation onConfirm) {
    if (active_) return false;
    active_ = true;
    popupOpened_ = false;
    request_ = std::move(request);
    onConfirm_ = std::move(onConfirm);
    fileName_ = request_.kind == FilePanelRequest::Kind::save ? request_.defaultName : std::string();
    selected_.clear();
    error_.clear();
    confirmOverwrite_ = false;
    std::error_code ec;
    fs::path start = request_.directory;
    if (start.empty() || !fs::is_directory(start, ec)) start = lastDirectory_;
    if (start.empty() || !fs::is_directory(start, ec)) start = homeDirectory();
    navigate(start);
    return true;
}

void ImGuiFilePanels::navigate(const fs::path& dir) {
    std::error_code ec;
    std::vector<Entry> list;
    fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        error_ = "The folder \u201C" + lastComponent(dir) + "\u201D can\u2019t be opened.";
        return;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeEc;
        bool isDir = it->is_directory(typeEc);
        bool allowed = isDir || (request_.kind == FilePanelRequest::Kind::open && typeAllowed(request_, it->path())) ||
                       request_.kind == FilePanelRequest::Kind::save;
        list.push_back({name, isDir, allowed});
    }
    // Directory order is arbitrary on Linux: folders first, then by name.
    std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) {
        if (a.isDirectory != b.isDirectory) return a.isDirectory;
        std::string la = asciiLower(a.name), lb = asciiLower(b.name);
        return la != lb ? la < lb : a.name < b.name;
    });
    entries_ = std::move(list);
    directory_ = dir;
    pathText_ = dir.string();
    selected_.clear();
    doubleClickedRow_.clear();
    error_.clear();
    confirmOverwrite_ = false;
    scrollToTop_ = true;  // a folder is shown from its first row
}

void ImGuiFilePanels::goToTypedPath() {
    using Kind = FilePanelRequest::Kind;
    const std::string typed = trimWhitespace(pathText_);
    if (typed.empty()) return;
    fs::path p;
    if (typed == "~" || typed.rfind("~/", 0) == 0)
        p = homeDirectory() / typed.substr(std::min<size_t>(2, typed.size()));
    else
        p = fs::path(typed).is_absolute() ? fs::path(typed) : directory_ / typed;
    p = p.lexically_normal();
    if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();

    std::error_code ec;
    if (fs::is_directory(p, ec)) {
        navigate(p);
        return;
    }
    const fs::path folder = p.parent_path();
    const std::string name = p.filename().string();
    const bool exists = fs::exists(p, ec);
    if (!fs::is_directory(folder, ec) || (!exists && request_.kind != Kind::save)) {
        error_ = "\u201C" + typed + "\u201D can\u2019t be found.";
        return;
    }
    navigate(folder);
    if (!error_.empty()) return;
    switch (request_.kind) {
        case Kind::open:
            if (!typeAllowed(request_, p)) {
                error_ = "\u201C" + name + "\u201D can\u2019t be opened here.";
                return;
            }
            selected_ = name;
            confirm();
            return;
        case Kind::save:
            fileName_ = name;
            confirm();
            return;
        case Kind::folder:
            return;  // the file's folder is shown; a folder is what is chosen
    }
}

void ImGuiFilePanels::activate(const Entry& entry) {
    if (entry.isDirectory) {
        navigate(directory_ / entry.name);
        return;
    }
    if (!entry.allowed || request_.kind == FilePanelRequest::Kind::folder) return;
    selected_ = entry.name;
    if (request_.kind == FilePanelRequest::Kind::save) fileName_ = entry.name;
    confirmOverwrite_ = false;
    confirm();
}

std::string ImGuiFilePanels::saveName() const {
    std::string name = trimWhitespace(fileName_);
    if (name.empty() || request_.allowedTypes.empty()) return name;
    if (typeAllowed(request_, name)) return name;
    const auto& exts = request_.allowedTypes.front().extensions;
    return exts.empty() ? name : name + "." + exts.front();
}

void ImGuiFilePanels::confirm() {
    using Kind = FilePanelRequest::Kind;
    std::error_code ec;
    switch (request_.kind) {
        case Kind::open: {
            if (selected_.empty()) return;
            fs::path p = directory_ / selected_;
            if (fs::is_directory(p, ec)) {
                navigate(p);
                return;
            }
            if (!typeAllowed(request_, p)) return;
            finish(p);
            return;
        }
        case Kind::folder: {
            // A selected subfolder is the choice; without one, the folder shown.
            const fs::path p = directory_ / selected_;
            finish(!selected_.empty() && fs::is_directory(p, ec) ? p : directory_);
            return;
        }
        case Kind::save: {
            std::string name = saveName();
            if (name.empty()) return;
            if (name.find('/') != std::string::npos || name == "." || name == "..") {
                error_ = "The name \u201C" + name + "\u201D can\u2019t be used.";
                return;
            }
            fs::path p = directory_ / name;
            if (fs::is_directory(p, ec)) {
                error_ = "\u201C" + name + "\u201D is a folder.";
                return;
            }
            if (fs::exists(p, ec) && !confirmOverwrite_) {
                confirmOverwrite_ = true;
                return;
            }
            finish(p);
            return;
        }
    }
}

void ImGuiFilePanels::finish(std::optional<fs::path> result) {
    lastDirectory_ = directory_;
    active_ = false;
    confirmOverwrite_ = false;
    pendingResult_ = std::move(result);
    if (!pendingResult_) onConfirm_ = nullptr;
    ImGui::CloseCurrentPopup();
}

void ImGuiFilePanels::draw() {
    if (!active_) return;
    using Kind = FilePanelRequest::Kind;
    if (!popupOpened_) {
        ImGui::OpenPopup(kPopupId);
        popupOpened_ = true;
    }
    ImGuiIO& io = ImGui::GetIO();
    ImVec2 size(std::min(560.0f, io.DisplaySize.x - 40), std::min(440.0f, io.DisplaySize.y - 40));
    ImGui::SetNextWindowSize(size, ImGuiCond_Always);
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(16, 14));
    ImGui::PushStyleColor(ImGuiCol_PopupBg, ImVec4(0.075f, 0.085f, 0.11f, 1));
    bool open = ImGui::BeginPopupModal(kPopupId, nullptr,
                                       ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                           ImGuiWindowFlags_NoSavedSettings);
    ImGui::PopStyleColor();
    ImGui::PopStyleVar();
    if (!open) return;
    {
        ProbeScope scope("filePanel");
        UiContext* ctx = UiContext::current();
        if (ctx) {
            ProbeRecord panel;
            panel.id = "panel";
            panel.kind = ControlKind::panel;
            ImVec2 p = ImGui::GetWindowPos(), s = ImGui::GetWindowSize();
            panel.rect = ProbeRect{p.x, p.y, s.x, s.y};
            panel.text = request_.title;
            panel.value = directory_.string();
            ctx->probe().report(panel);
        }
        text("title", request_.title, FontSpec{13, FontWeight::semibold});

        LabelStyle nav;
        nav.font = FontSpec{11, FontWeight::medium};
        nav.paddingH = 9;
        nav.paddingV = 5;
        nav.shape = Shape::rounded(6);
        nav.fill = white(0.07);
        bool hasParent = directory_.has_parent_path() && directory_.parent_path() != directory_;
        if (labelButton("up", "Enclosing Folder", "arrow.up", nav, ControlState{false, hasParent}))
            navigate(directory_.parent_path());
        ImGui::SameLine();
        if (labelButton("home", "Home", "house.fill", nav)) navigate(homeDirectory());
        if (request_.kind == Kind::folder && request_.canCreateFolders) {
            ImGui::SameLine();
            if (labelButton("newFolder", "New Folder", "folder.badge.plus", nav)) {
                std::error_code ec;
                fs::path dir = directory_ / "New Folder";
                for (int n = 2; fs::exists(dir, ec) && n < 10000; ++n) dir = directory_ / ("New Folder " + std::to_string(n));
                if (fs::create_directory(dir, ec))
                    navigate(dir);
                else
                    error_ = "The folder can\u2019t be created.";
            }
        }
        // Type a folder to go there, or a file to take it.
        textField("path", "Go to folder or file", pathText_, 0, FontSpec{11});
        const bool pathSubmitted = ImGui::IsItemDeactivated() && enterPressed();

        float footer = request_.kind == Kind::save ? 112.0f : 78.0f;
        ImGui::BeginChild("entries", ImVec2(0, std::max(ImGui::GetContentRegionAvail().y - footer, 60.0f)), true);
        if (scrollToTop_) {
            ImGui::SetScrollY(0);
            scrollToTop_ = false;
        }
        {
            ProbeScope entries("entries");
            LabelStyle row;
            row.font = FontSpec{12};
            row.fullWidth = true;
            row.paddingV = 4;
            row.shape = Shape::rounded(5);
            std::optional<Entry> activated;
            for (const auto& e : entries_) {
                LabelStyle st = row;
                bool sel = e.name == selected_;
                st.fill = sel ? withOpacity(UiPalette::cyan, 0.22) : UiPalette::clear;
                Color fg = e.allowed ? white() : white(0.4);
                // Rows are left-aligned: the button carries the name for the probe but
                // draws no text of its own; the row text is drawn below.
                st.foreground = UiPalette::clear;
                ImVec2 start = ImGui::GetCursorScreenPos();
                const bool clicked = labelButton(e.name, e.name, {}, st, ControlState{sel, e.allowed});
                // The platform's count, not ImGui's clock: at a low frame rate the two
                // presses of a double-click lie further apart than ImGui allows.
                if (ImGui::IsItemActivated() && mouseClickCount(ImGuiMouseButton_Left) == 2) doubleClickedRow_ = e.name;
                if (clicked) {
                    if (doubleClickedRow_ == e.name) {
                        activated = e;
                    } else {
                        selected_ = e.name;
                        if (request_.kind == Kind::save && !e.isDirectory) fileName_ = e.name;
                        confirmOverwrite_ = false;
                    }
                    doubleClickedRow_.clear();
                }
                ImDrawList* dl = ImGui::GetWindowDrawList();
                std::string line = symbolText(e.isDirectory ? "folder.fill" : "doc", ctx && ctx->fonts().hasIcons()) + "  " + e.name;
                ImFont* f = fontFor(row.font);
                dl->AddText(f, row.font.size, ImVec2(start.x + 6, start.y + row.paddingV), toImU32(fg), line.c_str());
            }
            if (activated) activate(*activated);
        }
        ImGui::EndChild();

        bool nameSubmitted = false;
        if (request_.kind == Kind::save) {
            text("nameLabel", "Save As:", FontSpec{11, FontWeight::medium}, white(0.72));
            if (textField("fileName", "Name", fileName_, 0, FontSpec{12})) confirmOverwrite_ = false;
            nameSubmitted = ImGui::IsItemDeactivated() && enterPressed();
        }
        if (!error_.empty()) text("error", error_, FontSpec{11}, UiPalette::orange);

        LabelStyle cancel = secondaryActionStyle();
        cancel.fullWidth = false;
        cancel.width = 110;
        LabelStyle ok = primaryActionStyle();
        ok.fullWidth = false;
        ok.width = 110;
        // Enter and Escape answer the default and the cancel button, unless a field took them.
        const bool keysFree = !pathSubmitted && !nameSubmitted && !ImGui::IsAnyItemActive();
        const bool enter = keysFree && enterPressed();
        const bool escape = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
        if (confirmOverwrite_) {
            text("overwrite", "\u201C" + saveName() + "\u201D already exists. Do you want to replace it?", FontSpec{12, FontWeight::medium});
            if (labelButton("keep", "Cancel", {}, cancel) || escape) confirmOverwrite_ = false;
            ImGui::SameLine();
            if (labelButton("replace", "Replace", {}, ok) || (enter && confirmOverwrite_)) confirm();
        } else {
            const char* okTitle = request_.kind == Kind::open ? "Open" : request_.kind == Kind::save ? "Save" : "Choose";
            bool okEnabled = request_.kind == Kind::folder ||
                             (request_.kind == Kind::save && !saveName().empty()) ||
                             (request_.kind == Kind::open && !selected_.empty());
            if (labelButton("cancel", "Cancel", {}, cancel)) finish(std::nullopt);
            ImGui::SameLine();
            if (labelButton("confirm", okTitle, {}, ok, ControlState{false, okEnabled}) || (active_ && (enter || nameSubmitted)))
                confirm();
            if (active_ && escape) finish(std::nullopt);
        }
        if (pathSubmitted && active_) goToTypedPath();
    }
    ImGui::EndPopup();
    // The continuation runs outside the popup, so it may present the next panel.
    if (pendingResult_) {
        fs::path result = std::move(*pendingResult_);
        pendingResult_.reset();
        FilePanelContinuation cont = std::move(onConfirm_);
        onConfirm_ = nullptr;
        if (cont) cont(result);
    }
}

// ---- Scripted fake ----------------------------------------------------------------------

bool ScriptedFilePanels::present(FilePanelRequest request, FilePanelContinuation onConfirm) {
    if (pending_) return false;
    requests_.push_back(std::move(request));
    if (script_.empty()) {
        pending_ = std::move(onConfirm);
        return true;
    }
    std::optional<fs::path> answer = std::move(script_.front());
    script_.pop_front();
    if (answer && onConfirm) onConfirm(*answer);
    return true;
}

void ScriptedFilePanels::confirmPending(const fs::path& path) {
    if (!pending_) return;
    FilePanelContinuation cont = std::move(*pending_);
    pending_.reset();
    if (cont) cont(path);
}

void ScriptedFilePanels::cancelPending() { pending_.reset(); }

}  // namespace pk::ui
