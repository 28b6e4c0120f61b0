#pragma once
// Open, save and folder panels. A panel is presented and returns at once (no nested event
// loop); the continuation runs with the chosen path on confirmation and never on cancel.
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pk::ui {

namespace fs = std::filesystem;

// A file type by its name extensions (lower case, without the dot).
struct FileType {
    std::string name;
    std::vector<std::string> extensions;
    bool operator==(const FileType&) const = default;

    bool matches(const fs::path& file) const;
    static FileType png();
    static FileType jpeg();
    static FileType heic();
    static FileType tiff();
    static FileType mpeg4Movie();
    static FileType plainText();
    static FileType forExtension(std::string extension);
};

struct FilePanelRequest {
    enum class Kind { open, save, folder };
    Kind kind = Kind::open;
    std::string title;
    std::vector<FileType> allowedTypes;  // empty = every file
    std::string defaultName;             // save panels
    fs::path directory;                  // start folder; empty = the last one used, else home
    bool canCreateFolders = false;
    bool operator==(const FilePanelRequest&) const = default;
};

using FilePanelContinuation = std::function<void(const fs::path&)>;

class FilePanels {
public:
    virtual ~FilePanels() = default;
    // Shows the panel. While one is showing, another request is refused (returns false):
    // panels are modal.
    virtual bool present(FilePanelRequest request, FilePanelContinuation onConfirm) = 0;
    virtual bool isPresenting() const = 0;
};

// Our own ImGui modal. Call draw() once per frame inside the window's frame, after the
// window's content. As desktop panels do: a click selects a row, a double-click enters a
// folder or takes a file, the path field goes to a typed folder or takes a typed file,
// Enter confirms (or enters the selected folder) and Escape cancels.
class ImGuiFilePanels : public FilePanels {
public:
    bool present(FilePanelRequest request, FilePanelContinuation onConfirm) override;
    bool isPresenting() const override { return active_; }
    void draw();

    // The state a test can look at.
    const fs::path& currentDirectory() const { return directory_; }
    const std::string& selection() const { return selected_; }
    const std::string& fileName() const { return fileName_; }
    bool isConfirmingOverwrite() const { return confirmOverwrite_; }
    const std::string& errorText() const { return error_; }

private:
    struct Entry {
        std::string name;
        bool isDirectory;
        bool allowed;
    };
    void navigate(const fs::path& dir);
    // The path field's text: a folder is entered, a file taken (for a save panel, a new
    // name in an existing folder too); anything else is reported.
    void goToTypedPath();
    // A double-click (or Enter) on a row: folders are entered, files taken.
    void activate(const Entry& entry);
    void confirm();
    void finish(std::optional<fs::path> result);
    std::string saveName() const;

    bool active_ = false;
    bool popupOpened_ = false;
    FilePanelRequest request_;
    FilePanelContinuation onConfirm_;
    fs::path directory_, lastDirectory_;
    std::vector<Entry> entries_;
    std::string selected_;
    std::string fileName_;
    std::string pathText_;
    std::string doubleClickedRow_;  // pressed a second time; taken on its release
    bool scrollToTop_ = false;
    std::string error_;
    bool confirmOverwrite_ = false;
    std::optional<fs::path> pendingResult_;
};

// A scripted stand-in for view-model tests: records every request and answers from a
// script (choose a path or cancel), or leaves the request pending for the test to answer.
class ScriptedFilePanels : public FilePanels {
public:
    void enqueueChoice(fs::path path) { script_.push_back(std::move(path)); }
    void enqueueCancel() { script_.push_back(std::nullopt); }

    bool present(FilePanelRequest request, FilePanelContinuation onConfirm) override;
    bool isPresenting() const override { return pending_.has_value(); }

    const std::vector<FilePanelRequest>& requests() const { return requests_; }
    void confirmPending(const fs::path& path);
    void cancelPending();

private:
    std::deque<std::optional<fs::path>> script_;
    std::vector<FilePanelRequest> requests_;
    std::optional<FilePanelContinuation> pending_;
};

}  // namespace pk::ui
