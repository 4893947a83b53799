#include "help/VexHtmlHelp.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/System.h"
#include "tables/Paths.h"

namespace tz::help {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimSpaces(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

}  // namespace

bool isChmFile(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    return lower(name.substr(dot)) == ".chm";
}

bool hasFolderPart(std::string_view name) {
    return name.find_first_of("\\/:") != std::string_view::npos;
}

std::string resolveHelpFile(std::string_view requested, std::string_view applicationFile,
                            std::string_view exeFolder) {
    std::string name(requested.empty() ? applicationFile : requested);
    if (!name.empty() && !hasFolderPart(name)) name.insert(0, exeFolder);
    return name;
}

std::string topicFileName(std::string_view topic, std::string_view defaultExtension) {
    // The extension is what follows the last dot after the last folder separator.
    const auto sep = topic.find_last_of(".\\/:");
    if (sep != std::string_view::npos && topic[sep] == '.') {
        const std::string ext = lower(topic.substr(sep));
        if (ext == ".htm" || ext == ".html") return std::string(topic);
    }
    return std::string(topic) + std::string(defaultExtension);
}

std::pair<std::string, std::string> splitHelpUrl(std::string_view url) {
    const auto sep = url.find("::");
    if (sep == std::string_view::npos) return {std::string(url), {}};
    std::string topic(url.substr(sep + 2));
    if (topic.empty() || topic.front() != '/') topic.insert(topic.begin(), '/');
    return {std::string(url.substr(0, sep)), topic};
}

std::filesystem::path helpFilePath(std::string_view name) { return tz::tables::mapPath(name); }

std::filesystem::path helpFilePath(std::string_view name, std::string_view exeFolder) {
    const std::vector<std::filesystem::path> places = helpFileCandidates(name, exeFolder);
    for (const auto& p : places)
        if (tz::tables::fileExists(p)) return p;
    return places.front();
}

std::vector<std::filesystem::path> helpFileCandidates(std::string_view name,
                                                      std::string_view exeFolder) {
    // A name resolved against the program's folder is a real path already: never mapped again.
    const bool besideProgram = !exeFolder.empty() && name.starts_with(exeFolder);
    std::vector<std::filesystem::path> places{
        besideProgram ? tz::tables::findExisting(platform::pathFromUtf8(name))
                      : helpFilePath(name)};
    if (exeFolder.empty()) return places;
    const auto sep = name.find_last_of("\\/:");
    const std::filesystem::path file =
        platform::pathFromUtf8(sep == std::string_view::npos ? name : name.substr(sep + 1));
    if (file.empty()) return places;
    const std::filesystem::path exe = platform::pathFromUtf8(exeFolder);
    for (std::filesystem::path p : {exe / ".." / "share" / "transzanderxel" / file, exe / file}) {
        p = p.lexically_normal();
        if (std::find(places.begin(), places.end(), p) == places.end()) places.push_back(p);
    }
    return places;
}

std::string executableFolder() { return platform::executableFolder(); }

TVexHtmlHelpViewer::TVexHtmlHelpViewer(std::shared_ptr<HtmlHelpBackend> backend,
                                       std::string exeFolder)
    : backend_(std::move(backend)), exeFolder_(std::move(exeFolder)) {}

TVexHtmlHelpViewer::~TVexHtmlHelpViewer() {
    if (manager_) manager_->release(viewerId_);
}

std::string TVexHtmlHelpViewer::helpFile(const std::string& named) const {
    const std::string requested =
        !named.empty() ? named : (manager_ ? manager_->requestHelpFile() : std::string());
    const std::string application = manager_ ? manager_->applicationHelpFile() : std::string();
    return resolveHelpFile(requested, application, exeFolder_);
}

void TVexHtmlHelpViewer::call(const std::string& file, HhCommand command, const HhData& data) {
    if (command == HH_GET_LAST_ERROR) return;
    if (!backend_ || !backend_->available()) return;
    const WindowHandle window = command == HH_CLOSE_ALL || !manager_ ? 0 : manager_->helpWindow();
    backend_->htmlHelp(window, file, command, data);
}

int TVexHtmlHelpViewer::understandsKeyword(const std::string&) {
    return isChmFile(helpFile()) ? 1 : 0;
}

std::vector<std::string> TVexHtmlHelpViewer::helpStrings(const std::string& keyword) {
    return {std::string(kViewerName) + ": " + keyword};
}

void TVexHtmlHelpViewer::showTableOfContents() {
    const std::string file = helpFile();
    if (isChmFile(file)) call(file, HH_DISPLAY_TOC, {});
}

void TVexHtmlHelpViewer::showHelp(const std::string& helpString) {
    const std::string file = helpFile();
    if (!isChmFile(file)) return;
    const auto colon = helpString.find(':');
    const std::string keyword =
        trimSpaces(colon == std::string::npos ? std::string_view(helpString)
                                              : std::string_view(helpString).substr(colon + 1));
    call(file, HH_DISPLAY_INDEX, {0, keyword});
}

void TVexHtmlHelpViewer::softShutDown() { call({}, HH_CLOSE_ALL, {}); }

void TVexHtmlHelpViewer::shutDown() {
    softShutDown();
    manager_ = nullptr;
}

bool TVexHtmlHelpViewer::understandsTopic(const std::string&) { return isChmFile(helpFile()); }

void TVexHtmlHelpViewer::displayTopic(const std::string& topic) {
    const std::string file = helpFile();
    if (!isChmFile(file)) return;
    call(file + "::/" + topicFileName(topic, defaultExtension_), HH_DISPLAY_TOPIC, {});
}

bool TVexHtmlHelpViewer::understandsContext(int, const std::string& helpFile) {
    return isChmFile(this->helpFile(helpFile));
}

void TVexHtmlHelpViewer::displayHelpByContext(int context, const std::string& helpFile) {
    const std::string file = this->helpFile(helpFile);
    if (!isChmFile(file)) return;
    call(file, HH_HELP_CONTEXT, {static_cast<std::uint32_t>(context), {}});
}

int TVexHtmlHelpViewer::selectKeyword(const std::vector<std::string>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i];
        if (e.substr(0, e.find(':')) == kViewerName) return static_cast<int>(i);
    }
    return 0;
}

int TVexHtmlHelpViewer::selectTableOfContents(const std::vector<std::string>& viewerNames) {
    const auto it = std::find(viewerNames.begin(), viewerNames.end(), kViewerName);
    return it == viewerNames.end() ? -1 : static_cast<int>(it - viewerNames.begin());
}

std::shared_ptr<TVexHtmlHelpViewer> installVexHtmlHelp(HelpSystem& system,
                                                       std::shared_ptr<HtmlHelpBackend> backend,
                                                       std::string exeFolder) {
    auto viewer = std::make_shared<TVexHtmlHelpViewer>(std::move(backend), std::move(exeFolder));
    system.registerViewer(viewer);
    system.setSelector(viewer);
    system.setWinHelpTester(std::make_shared<TVexWinHelpTester>());
    return viewer;
}

}  // namespace tz::help
