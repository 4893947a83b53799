#include "help/HelpSystem.h"

#include <algorithm>
#include <utility>

namespace tz::help {

class HelpSystem::RequestScope {
  public:
    RequestScope(HelpSystem& hs, const std::string& file)
        : hs_(hs), saved_(std::exchange(hs.requestFile_, file)) {}
    ~RequestScope() { hs_.requestFile_ = std::move(saved_); }
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;

  private:
    HelpSystem& hs_;
    std::string saved_;
};

HelpSystem::~HelpSystem() { shutDown(); }

int HelpSystem::registerViewer(std::shared_ptr<HelpViewer> viewer) {
    if (!viewer) return 0;
    const int id = nextId_++;
    viewers_.push_back({id, viewer});
    viewer->setManager(this);
    viewer->notifyId(id);
    return id;
}

void HelpSystem::release(int viewerId) {
    std::erase_if(viewers_, [viewerId](const Entry& e) { return e.id == viewerId; });
}

void HelpSystem::shutDown() {
    // A viewer may release itself while shutting down: work on a copy.
    const std::vector<Entry> all = std::exchange(viewers_, {});
    for (const Entry& e : all) e.viewer->shutDown();
}

HelpOutcome HelpSystem::contextHelp(int context, const std::string& helpFile) {
    RequestScope scope(*this, helpFile);
    const std::string file = helpFile.empty() ? applicationFile_ : helpFile;
    if (tester_ && tester_->canShowContext(context, file)) return HelpOutcome::WinHelp;
    const std::vector<Entry> all = viewers_;
    for (const Entry& e : all) {
        if (e.viewer->understandsContext(context, helpFile)) {
            e.viewer->displayHelpByContext(context, helpFile);
            return HelpOutcome::Shown;
        }
    }
    return HelpOutcome::NoViewer;
}

HelpOutcome HelpSystem::keywordHelp(const std::string& keyword) {
    RequestScope scope(*this, {});
    if (tester_ && tester_->canShowALink(keyword, applicationFile_)) return HelpOutcome::WinHelp;
    std::vector<std::string> strings;
    std::vector<std::shared_ptr<HelpViewer>> owners;
    const std::vector<Entry> all = viewers_;
    for (const Entry& e : all) {
        if (e.viewer->understandsKeyword(keyword) <= 0) continue;
        for (std::string& s : e.viewer->helpStrings(keyword)) {
            strings.push_back(std::move(s));
            owners.push_back(e.viewer);
        }
    }
    if (strings.empty()) return HelpOutcome::NoViewer;
    std::size_t chosen = 0;
    if (strings.size() > 1) {
        if (!selector_) return HelpOutcome::Cancelled;
        const int pick = selector_->selectKeyword(strings);
        if (pick < 0 || static_cast<std::size_t>(pick) >= strings.size())
            return HelpOutcome::Cancelled;
        chosen = static_cast<std::size_t>(pick);
    }
    owners[chosen]->showHelp(strings[chosen]);
    return HelpOutcome::Shown;
}

HelpOutcome HelpSystem::topicHelp(const std::string& topic, const std::string& helpFile) {
    RequestScope scope(*this, helpFile);
    const std::string file = helpFile.empty() ? applicationFile_ : helpFile;
    if (tester_ && tester_->canShowTopic(topic, file)) return HelpOutcome::WinHelp;
    const std::vector<Entry> all = viewers_;
    for (const Entry& e : all) {
        if (e.viewer->understandsTopic(topic)) {
            e.viewer->displayTopic(topic);
            return HelpOutcome::Shown;
        }
    }
    return HelpOutcome::NoViewer;
}

HelpOutcome HelpSystem::showTableOfContents() {
    RequestScope scope(*this, {});
    std::vector<std::shared_ptr<HelpViewer>> able;
    const std::vector<Entry> all = viewers_;
    for (const Entry& e : all)
        if (e.viewer->canShowTableOfContents()) able.push_back(e.viewer);
    if (able.empty()) return HelpOutcome::NoViewer;
    if (able.size() == 1) {
        able.front()->showTableOfContents();
        return HelpOutcome::Shown;
    }
    std::stable_sort(able.begin(), able.end(), [](const auto& a, const auto& b) {
        return a->viewerName() < b->viewerName();
    });
    std::vector<std::string> names;
    for (const auto& v : able) names.push_back(v->viewerName());
    if (!selector_) return HelpOutcome::Cancelled;
    const int pick = selector_->selectTableOfContents(names);
    if (pick < 0 || static_cast<std::size_t>(pick) >= able.size()) return HelpOutcome::Cancelled;
    able[static_cast<std::size_t>(pick)]->showTableOfContents();
    return HelpOutcome::Shown;
}

}  // namespace tz::help
