// Parameters and pages named on the command line: codes, ranges, page captions and groups.

#include <QRegularExpression>
#include <set>

#include "CliRequest.h"
#include "model/Catalogue.h"
#include "editor/ParameterFile.h"

namespace velorin {

namespace {

QString upper(const QString& word) {
    return word.trimmed().toUpper();
}

// The pages a caption ("P03", "P01-1", "P9-3") or a group ("P09", "P9") names.
std::vector<int> pagesNamed(const QString& word) {
    const Catalogue& catalogue = Catalogue::instance();
    const QString w = upper(word);
    for (const PageInfo& page : catalogue.pages())
        if (w == QString::fromStdString(page.caption))
            return {page.index};
    static const QRegularExpression group(QStringLiteral("^P([0-9]{1,2})$"));
    const auto m = group.match(w);
    if (!m.hasMatch())
        return {};
    const std::string prefix =
        "P" +
        QStringLiteral("%1").arg(m.captured(1).toInt(), 2, 10, QLatin1Char('0')).toStdString() +
        ".";
    std::vector<int> pages;
    for (const PageInfo& page : catalogue.pages())
        for (int reg : page.fields)
            if (catalogue.parameter(reg).code.rfind(prefix, 0) == 0) {
                pages.push_back(page.index);
                break;
            }
    return pages;
}

}  // namespace

std::optional<int> singleParameter(const QString& word, QString& error) {
    const std::optional<int> reg = Catalogue::registerOf(upper(word).toStdString());
    if (!reg) {
        error = QStringLiteral("\"%1\" is no parameter code (P01.06)").arg(word);
        return std::nullopt;
    }
    if (!Catalogue::instance().parameter(*reg).shown) {
        error = QStringLiteral("%1 is no parameter of the drive's pages").arg(word);
        return std::nullopt;
    }
    return reg;
}

std::vector<int> selectParameters(const QStringList& words, QString& error) {
    const Catalogue& catalogue = Catalogue::instance();
    std::vector<int> regs;
    std::set<int> seen;
    auto take = [&](int reg) {
        if (catalogue.parameter(reg).shown && seen.insert(reg).second)
            regs.push_back(reg);
    };
    for (const QString& word : words) {
        if (const std::vector<int> pages = pagesNamed(word); !pages.empty()) {
            for (int page : pages)
                for (int reg = catalogue.page(page).read.first;
                     reg <= catalogue.page(page).read.last; ++reg)
                    take(reg);
            continue;
        }
        const QStringList ends = word.split(QLatin1Char('-'));
        if (ends.size() == 2) {
            const auto first = Catalogue::registerOf(upper(ends[0]).toStdString());
            const auto last = Catalogue::registerOf(upper(ends[1]).toStdString());
            if (!first || !last || *first > *last) {
                error =
                    QStringLiteral("\"%1\" is no range of parameters (P03.01-P03.09)").arg(word);
                return {};
            }
            for (int reg = *first; reg <= *last; ++reg) take(reg);
            continue;
        }
        const std::optional<int> reg = singleParameter(word, error);
        if (!reg)
            return {};
        take(*reg);
    }
    if (regs.empty())
        error = QStringLiteral("\"%1\" names no parameter").arg(words.join(QLatin1Char(' ')));
    return regs;
}

std::vector<int> selectPages(const QString& list, QString& error) {
    std::set<int> pages;
    for (const QString& word : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        std::vector<int> named = pagesNamed(word);
        std::erase_if(named, [](int page) { return page >= kFilePageCount; });
        if (named.empty()) {
            error = QStringLiteral("--pages: \"%1\" is no page P00 ... P17-1").arg(word);
            return {};
        }
        pages.insert(named.begin(), named.end());
    }
    if (pages.empty())
        error = QStringLiteral("--pages needs at least one page");
    return {pages.begin(), pages.end()};
}

}  // namespace velorin
