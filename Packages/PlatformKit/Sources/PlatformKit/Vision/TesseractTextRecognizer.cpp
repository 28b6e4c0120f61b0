#include "PlatformKit/Vision/TesseractTextRecognizer.h"

#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::vision {

namespace {

// Tesseract runs parts of its network as OpenMP parallel loops. Their team would start
// threads behind the caller's back, and on a busy machine those threads spin at barriers
// waiting for cores (an audit of a tenth of a second took seconds, at worst minutes).
// Allowing no active parallel level makes every such loop run on the calling thread.
// The OpenMP runtime keeps this setting per thread, so it is set around each call into
// the engine and put back afterwards, leaving the caller's own OpenMP work as it was.
// The runtime is the one Tesseract links; a Tesseract built without OpenMP has none and
// needs nothing.
class OnCallingThreadOnly {
public:
    OnCallingThreadOnly() {
        if (api().set) {
            saved_ = api().get();
            api().set(0);
        }
    }
    ~OnCallingThreadOnly() {
        if (api().set) api().set(saved_);
    }
    OnCallingThreadOnly(const OnCallingThreadOnly&) = delete;
    OnCallingThreadOnly& operator=(const OnCallingThreadOnly&) = delete;

private:
    struct Api {
        void (*set)(int) = nullptr;
        int (*get)() = nullptr;
    };
    static const Api& api() {
        static const Api found = [] {
            Api a;
            a.set = reinterpret_cast<void (*)(int)>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
            a.get = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "omp_get_max_active_levels"));
            if (!a.get) a.set = nullptr;
            return a;
        }();
        return found;
    }
    int saved_ = 0;
};

struct EngineSlot {
    std::unique_ptr<tesseract::TessBaseAPI> api;
    std::string failure;
};

// One engine per thread and configuration; started on first use.
EngineSlot& engineFor(const std::string& language, const std::string& dataPath) {
    thread_local std::map<std::pair<std::string, std::string>, EngineSlot> engines;
    auto key = std::make_pair(language, dataPath);
    auto it = engines.find(key);
    if (it != engines.end()) return it->second;
    EngineSlot slot;
    const OnCallingThreadOnly oneThread;
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Dictionaries are init-only settings; leaving them out turns language correction off.
    std::vector<std::string> names = {"load_system_dawg", "load_freq_dawg", "debug_file"};
    std::vector<std::string> values = {"0", "0", "/dev/null"};
    const int rc = api->Init(dataPath.empty() ? nullptr : dataPath.c_str(), language.c_str(),
                             tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false);
    if (rc != 0) {
        slot.failure = "Tesseract could not start with language \"" + language + "\"" +
                       (dataPath.empty() ? std::string() : " from " + dataPath);
    } else {
        api->SetPageSegMode(tesseract::PSM_AUTO);
        slot.api = std::move(api);
    }
    return engines.emplace(std::move(key), std::move(slot)).first->second;
}

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
    size_t start = 0;
    while (start < s.size() && s[start] == ' ') ++start;
    return s.substr(start);
}

// Tesseract's layout joins every word on one baseline into one line, however far apart:
// "HP 100" at the left edge of a HUD and "AMMO 30" at the right came back as one box over
// nine tenths of the frame wide. A person reads them as two texts, so a line is cut where the gap
// between neighbouring words is wider than this many line heights. Word spaces measure
// 0.2 to 0.65 line heights in proportional faces and up to 1.35 in monospaced ones (a
// caps-only line is only as tall as its capitals); 1.5 line heights is more than an em,
// a gap no sentence has and that sets labels apart.
constexpr double kRunGapInLineHeights = 1.5;

struct TextBox {
    std::string text;
    int left = 0, top = 0, right = 0, bottom = 0;  // pixels, top-left origin
};

void extend(TextBox& box, const TextBox& by) {
    box.left = std::min(box.left, by.left);
    box.top = std::min(box.top, by.top);
    box.right = std::max(box.right, by.right);
    box.bottom = std::max(box.bottom, by.bottom);
}

RecognizedTextLine normalised(TextBox box, int w, int h) {
    RecognizedTextLine r;
    r.text = std::move(box.text);
    r.x = static_cast<double>(box.left) / w;
    r.width = static_cast<double>(box.right - box.left) / w;
    r.y = static_cast<double>(h - box.bottom) / h;  // bottom edge, counted from the bottom
    r.height = static_cast<double>(box.bottom - box.top) / h;
    return r;
}

// One result per run of words with no wide gap inside: the words' text joined by spaces.
// A line that stays whole keeps the line's own box. A run takes its words' extent, held
// within the line's top and bottom: Tesseract draws a one-letter word's box up to twice
// as tall as the letter.
void appendRuns(TextBox line, const std::vector<TextBox>& words, int w, int h,
                std::vector<RecognizedTextLine>& out) {
    if (words.empty()) return;
    if (line.bottom <= line.top) {  // no line box: the words' own extent stands in
        line = words.front();
        for (const TextBox& word : words) extend(line, word);
    }
    const double wideGap = kRunGapInLineHeights * std::max(line.bottom - line.top, 1);
    std::vector<TextBox> runs;
    for (const TextBox& word : words) {
        if (runs.empty() || word.left - runs.back().right > wideGap) {
            runs.push_back(word);
            continue;
        }
        TextBox& run = runs.back();
        run.text += ' ';
        run.text += word.text;
        extend(run, word);
    }
    if (runs.size() == 1) {
        TextBox whole = line;
        whole.text = std::move(runs.front().text);
        out.push_back(normalised(std::move(whole), w, h));
        return;
    }
    for (TextBox& run : runs) {
        run.top = std::clamp(run.top, line.top, line.bottom);
        run.bottom = std::clamp(run.bottom, run.top, line.bottom);
        out.push_back(normalised(std::move(run), w, h));
    }
}

}  // namespace

TesseractTextRecognizer::TesseractTextRecognizer(std::string language, std::string dataPath)
    : language_(std::move(language)), dataPath_(std::move(dataPath)) {}

std::optional<std::string> TesseractTextRecognizer::loadFailure() const {
    EngineSlot& slot = engineFor(language_, dataPath_);
    if (slot.api) return std::nullopt;
    return slot.failure;
}

std::vector<RecognizedTextLine> TesseractTextRecognizer::recognize(const pk::image::RgbaImage& image) const {
    EngineSlot& slot = engineFor(language_, dataPath_);
    if (!slot.api) throw StudioError(kVisionErrorDomain, engineUnavailable, slot.failure);
    std::vector<RecognizedTextLine> lines;
    if (!image.holdsPixels()) return lines;
    const int w = image.width, h = image.height;

    // Transparent parts read as black, as they would when drawn into an opaque context.
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = image.row(y);
        unsigned char* dst = rgb.data() + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            const uint8_t a = src[x * 4 + 3];
            for (int c = 0; c < 3; ++c) dst[x * 3 + c] = pk::image::premultipliedComponent(src[x * 4 + c], a);
        }
    }
    tesseract::TessBaseAPI& api = *slot.api;
    api.SetImage(rgb.data(), w, h, 3, w * 3);
    api.SetSourceResolution(96);
    const OnCallingThreadOnly oneThread;
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        throw StudioError(kVisionErrorDomain, recognitionFailed, "Tesseract recognition failed");
    }
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it && !it->Empty(tesseract::RIL_WORD)) {
        TextBox line;
        std::vector<TextBox> words;
        do {
            if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
                appendRuns(line, words, w, h, lines);
                words.clear();
                line = {};
                it->BoundingBox(tesseract::RIL_TEXTLINE, &line.left, &line.top, &line.right, &line.bottom);
            }
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
            TextBox word;
            word.text = trimmed(text.get());
            if (word.text.empty() ||
                !it->BoundingBox(tesseract::RIL_WORD, &word.left, &word.top, &word.right, &word.bottom))
                continue;
            words.push_back(std::move(word));
        } while (it->Next(tesseract::RIL_WORD));
        appendRuns(line, words, w, h, lines);
    }
    api.Clear();
    return lines;
}

}  // namespace pk::vision
