#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "help/HelpSystem.h"
#include "help/HtmlHelpApi.h"

// The help viewer adapter: answers the help system's requests by calling an HtmlHelp-style
// backend for compiled HTML help (".chm") files, and keeps WinHelp from taking any request.
namespace tz::help {

// True when the text from the last "." to the end is ".chm", letter case ignored.
bool isChmFile(std::string_view name);
// True when the name has a folder or drive part ("\", "/" or ":").
bool hasFolderPart(std::string_view name);
// The help file for a request: `requested`, or `applicationFile` when that is empty; a name
// without a folder part gets `exeFolder` (which ends in a separator) in front of it.
std::string resolveHelpFile(std::string_view requested, std::string_view applicationFile,
                            std::string_view exeFolder);
// `topic` with `defaultExtension` appended unless its extension is ".htm" or ".html" (any case).
std::string topicFileName(std::string_view topic, std::string_view defaultExtension = ".htm");
// "file::/topic" split into the file and the topic ("/topic"); a plain file gives no topic.
std::pair<std::string, std::string> splitHelpUrl(std::string_view url);
// The file a help file name stands for on this platform ("\\ZDXM7\\XEL.CHM" under the root).
std::filesystem::path helpFilePath(std::string_view name);
// Where a help file is looked for, in this order: the file the name stands for, then the copy an
// installation keeps in <exeFolder>/../share/transzanderxel/, then one beside the executable
// (as a build leaves it). Each place once; without `exeFolder`, only the first.
std::vector<std::filesystem::path> helpFileCandidates(std::string_view name,
                                                      std::string_view exeFolder);
// The first of helpFileCandidates() that exists; with none, the file the name stands for.
std::filesystem::path helpFilePath(std::string_view name, std::string_view exeFolder);
// The folder of the running executable with a trailing separator ("" when unknown).
std::string executableFolder();

class TVexHtmlHelpViewer final : public HelpViewer, public HelpSelector {
  public:
    static constexpr const char* kViewerName = "VexHtmlHelp";

    // `backend` null (or not available()) stands for a platform viewer that failed to load.
    TVexHtmlHelpViewer(std::shared_ptr<HtmlHelpBackend> backend, std::string exeFolder);
    ~TVexHtmlHelpViewer() override;

    int viewerId() const { return viewerId_; }
    // The help file the next request goes to.
    std::string helpFile(const std::string& named = {}) const;

    // HelpViewer
    std::string viewerName() const override { return kViewerName; }
    int understandsKeyword(const std::string& keyword) override;
    std::vector<std::string> helpStrings(const std::string& keyword) override;
    bool canShowTableOfContents() override { return true; }
    void showTableOfContents() override;
    void showHelp(const std::string& helpString) override;
    void notifyId(int viewerId) override { viewerId_ = viewerId; }
    void softShutDown() override;
    void shutDown() override;
    void setManager(HelpManager* manager) override { manager_ = manager; }
    bool understandsTopic(const std::string& topic) override;
    void displayTopic(const std::string& topic) override;
    bool understandsContext(int context, const std::string& helpFile) override;
    void displayHelpByContext(int context, const std::string& helpFile) override;

    // HelpSelector
    int selectKeyword(const std::vector<std::string>& entries) override;
    int selectTableOfContents(const std::vector<std::string>& viewerNames) override;

  private:
    void call(const std::string& file, HhCommand command, const HhData& data);

    std::shared_ptr<HtmlHelpBackend> backend_;
    std::string exeFolder_;
    std::string defaultExtension_ = ".htm";
    HelpManager* manager_ = nullptr;
    int viewerId_ = 0;
};

// Installed as the WinHelp viewer's tester: WinHelp never takes a request.
class TVexWinHelpTester final : public WinHelpTester {
  public:
    bool canShowALink(const std::string&, const std::string&) override { return false; }
    bool canShowTopic(const std::string&, const std::string&) override { return false; }
    bool canShowContext(int, const std::string&) override { return false; }
    std::vector<std::string> helpStrings(const std::string& aLink) override {
        return {": " + aLink};
    }
    std::string helpPath() override { return {}; }
    std::string defaultHelpFile(const std::string&) override { return {}; }
};

// Start-up of the adapter: registers a viewer over `backend` with `system`, makes it the
// selector and installs the WinHelp tester. Returns the viewer.
std::shared_ptr<TVexHtmlHelpViewer> installVexHtmlHelp(HelpSystem& system,
                                                       std::shared_ptr<HtmlHelpBackend> backend,
                                                       std::string exeFolder);

}  // namespace tz::help
