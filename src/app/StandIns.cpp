#include "StandIns.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "link/Global.h"
#include "menu/ModeMenu.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

namespace text {
const QString Caption = QStringLiteral("VELORIN");
const QString Editor = QStringLiteral("變頻機參數調整（尚未提供）");
const QString Return = QStringLiteral("返回上一頁");
}  // namespace text

QWidget* standIn(const QString& what, std::function<void()> back) {
    auto* w = new QWidget;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setWindowTitle(text::Caption);
    w->setFixedSize(twipsToPixels(5895), twipsToPixels(2730));
    auto* layout = new QVBoxLayout(w);
    auto* label = new QLabel(what, w);
    label->setFont(kaiFont());
    label->setAlignment(Qt::AlignCenter);
    auto* ret = new QPushButton(text::Return, w);
    ret->setFont(kaiFont());
    layout->addWidget(label);
    layout->addWidget(ret);
    QObject::connect(ret, &QPushButton::clicked, w, [w, back = std::move(back)] {
        back();
        w->close();
    });
    w->show();
    return w;
}

}  // namespace

QWidget* showEditorStandIn(Services& services) {
    QWidget* w = standIn(text::Editor, [&services] {
        if (services.link.offline)
            services.windows.connection();
        else
            services.windows.menu();
    });
    // The editor closes the menu once its first page is in; here that is at once.
    QTimer::singleShot(0, w, [] { closeModeMenus(); });
    return w;
}

}  // namespace velorin
