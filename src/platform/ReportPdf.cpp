#include "platform/ReportPdf.h"

#include <QBuffer>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include "platform/SafeFile.h"

namespace velorin {

std::optional<FileWriteFault> writeReportPdf(const std::string& html, const std::string& title,
                                             const std::string& path) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QString::fromStdString(title));
        writer.setCreator(QStringLiteral("velorin"));
        QTextDocument document;
        QFont font(QStringLiteral("AR PL UMing TW"));
        font.setFamilies({QStringLiteral("AR PL UMing TW"), QStringLiteral("新細明體")});
        font.setPointSizeF(10);
        document.setDefaultFont(font);
        document.setHtml(QString::fromStdString(html));
        document.print(&writer);
    }
    if (bytes.isEmpty())
        return FileWriteFault{FileWriteFault::Kind::NotRendered, path, {}, {}, {}};
    return writeFileSafely(path, bytes.toStdString());
}

}  // namespace velorin
