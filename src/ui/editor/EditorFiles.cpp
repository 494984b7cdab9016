// The editor's parameter files: the save of the fields, refused while one holds a text no field
// takes, and the load shown as a page read; both say which pages the file holds.

#include <QFileInfo>

#include "CompareWindow.h"
#include "EditorTexts.h"
#include "ParameterEditor.h"
#include "editor/ParameterFile.h"
#include "platform/SafeFile.h"
#include "platform/QtText.h"

namespace velorin {

namespace {

namespace text = editortext;

std::filesystem::path filePath(const QString& path) {
    return QFileInfo(path).filesystemFilePath();
}

}  // namespace

void ParameterEditor::onSaveTriggered() {
    if (!commandAllowed())
        return;
    convertFields();
    // A text no field takes has no value to save: the file would hold an old or a cut one.
    if (const std::vector<CheckFailure> refused = m_core->refusedFields(); !refused.empty()) {
        QStringList lines;
        for (const CheckFailure& failure : refused) lines << qs(failure.message);
        m_services.dialogs->message(this, text::SaveRefused.arg(lines.join(QLatin1Char('\n'))),
                                    text::FileError);
        goToParameter(refused.front().reg);
        return;
    }
    const auto path =
        m_services.dialogs->saveFile(this, text::Save, m_services.folders->desktopFolder(),
                                     text::DefaultFileName, text::SaveFilter);
    if (!path)
        return;
    const std::string bytes = m_core->fileText(m_services.link().offline);
    if (const auto failure = writeFileSafely(filePath(*path), bytes)) {
        m_services.dialogs->message(this, qs(*failure), text::FileError);
        return;
    }
    writeSidecar(*path, bytes);
    // One line a parameter.
    const auto lines = std::count(bytes.begin(), bytes.end(), '\n');
    std::array<bool, kFilePageCount> held{};
    for (int page = 0; page < kFilePageCount; ++page)
        held[page] = m_services.link().offline || m_core->pagePresent(page);
    showProgress(text::Saved.arg(lines).arg(QFileInfo(*path).fileName()) + pagesHeldText(held));
}

QString ParameterEditor::pagesHeldText(const std::array<bool, kFilePageCount>& held) {
    QStringList in, out;
    for (int page = 0; page < kFilePageCount; ++page)
        (held[page] ? in : out) << qs(Catalogue::instance().page(page).caption);
    if (out.isEmpty())
        return text::AllPagesHeld;
    return text::SomePagesHeld.arg(in.size())
        .arg(in.join(QStringLiteral("、")))
        .arg(out.size())
        .arg(out.join(QStringLiteral("、")));
}

// All or nothing: the whole file is read and checked before any field or page flag changes,
// and a cancelled dialog changes nothing either.
void ParameterEditor::onLoadTriggered() {
    if (!commandAllowed() || !editsMayBeDropped())
        return;
    const auto path = m_services.dialogs->openFile(
        this, text::Load, m_services.folders->desktopFolder(), text::LoadFilter);
    if (!path)
        return;
    const ParameterFileLoad load = loadParameterFile(filePath(*path));
    if (!fileMayBeTaken(*m_services.dialogs, this, load))
        return;
    QString origin;
    if (!sidecarAllowsLoad(*path, origin))
        return;
    showFields(m_core->applyLoad(load));
    // Pages the file does not hold are no longer present: their marks follow too.
    refreshAllMarks();
    const auto values = std::count_if(load.values.begin(), load.values.end(),
                                      [](const auto& v) { return v.has_value(); });
    showProgress(text::Loaded.arg(values).arg(QFileInfo(*path).fileName()) +
                 pagesHeldText(load.pages) + (origin.isEmpty() ? QString() : QStringLiteral(" ") + origin));
}

}  // namespace velorin
