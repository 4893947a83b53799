#include "help/gui/ChmHelpBackend.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "help/VexHtmlHelp.h"
#include "help/gui/HelpWindow.h"
#include "tables/Paths.h"

namespace tz::help::gui {

namespace {

// The file part of a help file name as the program writes it ("\ZDXM7\XEL.CHM": "XEL.CHM").
std::string fileName(const std::string& name) {
    const auto sep = name.find_last_of("\\/:");
    return sep == std::string::npos ? name : name.substr(sep + 1);
}

}  // namespace

ChmHelpBackend::ChmHelpBackend(std::string exeFolder) : exeFolder_(std::move(exeFolder)) {}
ChmHelpBackend::~ChmHelpBackend() = default;

std::string ChmHelpBackend::missingText(const std::string& name,
                                        const std::vector<std::filesystem::path>& places) {
    std::string text =
        "No se encuentra el archivo de ayuda " + fileName(name) + ".\r" +
        (places.size() == 1 ? "Se ha buscado en:" : "Se ha buscado en estos lugares:");
    for (const auto& p : places) text += "\r" + p.string();
    return text;
}

std::string ChmHelpBackend::unreadableText(const std::filesystem::path& file) {
    return "No se puede leer el archivo de ayuda " + file.string() + ".";
}

void ChmHelpBackend::say(const std::string& text) {
    if (tell) {
        tell(text);
        return;
    }
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("transZanderXEL"), shown,
                    QMessageBox::NoButton, QApplication::activeModalWidget());
    box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.exec();
}

void ChmHelpBackend::htmlHelp(WindowHandle, const std::string& file, HhCommand command,
                              const HhData& data) {
    try {
        if (command == HH_CLOSE_ALL) {
            if (window_) window_->closeAll();
            return;
        }
        const auto [name, topic] = splitHelpUrl(file);
        if (!isChmFile(name)) return;
        const std::vector<std::filesystem::path> places = helpFileCandidates(name, exeFolder_);
        std::filesystem::path found;
        for (const auto& p : places) {
            if (tables::fileExists(p)) {
                found = tables::findExisting(p);
                break;
            }
        }
        if (found.empty()) {
            say(missingText(name, places));
            return;
        }
        if (!window_) window_ = std::make_unique<HelpWindow>();
        if (!window_->openFile(found)) {
            say(unreadableText(found));
            return;
        }
        switch (command) {
            case HH_DISPLAY_TOC:
                window_->showContents();
                break;
            case HH_DISPLAY_TOPIC:
                window_->showTopic(topic);
                break;
            case HH_DISPLAY_INDEX:
                window_->showIndexKeyword(data.keyword);
                break;
            case HH_HELP_CONTEXT:
                window_->showContext(data.number);
                break;
            default:
                break;
        }
    } catch (const std::exception&) {
        // Help never interrupts the work it was asked from.
    }
}

}  // namespace tz::help::gui
