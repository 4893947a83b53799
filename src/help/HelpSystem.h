#pragma once
#include <memory>
#include <string>
#include <vector>

#include "help/HtmlHelpApi.h"

// The application's help system: it holds the current help file, the registered viewers, the
// selector that chooses among them, and the tester of the older WinHelp viewer; it hands each
// request (context, keyword, topic, table of contents) to a viewer that understands it.
namespace tz::help {

// What a viewer sees of the help system while it answers a request.
class HelpManager {
  public:
    virtual ~HelpManager() = default;
    // The help file named for the current request (empty when the request named none).
    virtual std::string requestHelpFile() const = 0;
    // The application's current help file.
    virtual std::string applicationHelpFile() const = 0;
    virtual WindowHandle helpWindow() const = 0;
    // The viewer with this number withdraws; the manager drops it from its lists.
    virtual void release(int viewerId) = 0;
};

class HelpViewer {
  public:
    virtual ~HelpViewer() = default;
    virtual std::string viewerName() const = 0;
    virtual int understandsKeyword(const std::string& keyword) = 0;
    virtual std::vector<std::string> helpStrings(const std::string& keyword) = 0;
    virtual bool canShowTableOfContents() = 0;
    virtual void showTableOfContents() = 0;
    virtual void showHelp(const std::string& helpString) = 0;
    virtual void notifyId(int viewerId) = 0;
    virtual void softShutDown() = 0;
    virtual void shutDown() = 0;
    // Registration hands the viewer the manager; shutDown() makes it forget it.
    virtual void setManager(HelpManager* manager) = 0;

    // Topics and context numbers.
    virtual bool understandsTopic(const std::string& topic) = 0;
    virtual void displayTopic(const std::string& topic) = 0;
    virtual bool understandsContext(int context, const std::string& helpFile) = 0;
    virtual void displayHelpByContext(int context, const std::string& helpFile) = 0;
};

// Chooses among several viewers' offers. Each returns a position in `entries`, or -1.
class HelpSelector {
  public:
    virtual ~HelpSelector() = default;
    virtual int selectKeyword(const std::vector<std::string>& entries) = 0;
    virtual int selectTableOfContents(const std::vector<std::string>& viewerNames) = 0;
};

// Decides what the older WinHelp viewer may take.
class WinHelpTester {
  public:
    virtual ~WinHelpTester() = default;
    virtual bool canShowALink(const std::string& aLink, const std::string& fileName) = 0;
    virtual bool canShowTopic(const std::string& topic, const std::string& fileName) = 0;
    virtual bool canShowContext(int context, const std::string& fileName) = 0;
    virtual std::vector<std::string> helpStrings(const std::string& aLink) = 0;
    virtual std::string helpPath() = 0;
    virtual std::string defaultHelpFile(const std::string& name) = 0;
};

// What a request came to.
enum class HelpOutcome {
    Shown,      // a viewer took it
    WinHelp,    // the WinHelp viewer took it (it does not exist on this platform: nothing shown)
    NoViewer,   // no viewer understood it
    Cancelled,  // the selector chose nothing
};

class HelpSystem final : public HelpManager {
  public:
    HelpSystem() = default;
    ~HelpSystem() override;
    HelpSystem(const HelpSystem&) = delete;
    HelpSystem& operator=(const HelpSystem&) = delete;

    void setApplicationHelpFile(std::string file) { applicationFile_ = std::move(file); }
    void setHelpWindow(WindowHandle window) { window_ = window; }

    // Registers a viewer, hands it the manager and its number; returns the number.
    int registerViewer(std::shared_ptr<HelpViewer> viewer);
    void setSelector(std::shared_ptr<HelpSelector> selector) { selector_ = std::move(selector); }
    void setWinHelpTester(std::shared_ptr<WinHelpTester> tester) { tester_ = std::move(tester); }
    std::size_t viewerCount() const { return viewers_.size(); }

    // Requests. `helpFile` empty means the application's current help file.
    HelpOutcome contextHelp(int context, const std::string& helpFile = {});
    HelpOutcome keywordHelp(const std::string& keyword);
    HelpOutcome topicHelp(const std::string& topic, const std::string& helpFile = {});
    HelpOutcome showTableOfContents();
    // Asks every viewer to shut down (closing its windows) and forgets them.
    void shutDown();

    // HelpManager
    std::string requestHelpFile() const override { return requestFile_; }
    std::string applicationHelpFile() const override { return applicationFile_; }
    WindowHandle helpWindow() const override { return window_; }
    void release(int viewerId) override;

    // Text a platform help system shows when no viewer takes a context request.
    static constexpr const char* kNoContextHelp = "No context-sensitive help installed";

  private:
    struct Entry {
        int id;
        std::shared_ptr<HelpViewer> viewer;
    };
    // Sets the request's help file for the duration of one request.
    class RequestScope;

    std::vector<Entry> viewers_;
    std::shared_ptr<HelpSelector> selector_;
    std::shared_ptr<WinHelpTester> tester_;
    std::string applicationFile_;
    std::string requestFile_;
    WindowHandle window_ = 0;
    int nextId_ = 1;
};

}  // namespace tz::help
