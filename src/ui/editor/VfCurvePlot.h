#pragma once
// A small plot of a motor's V/F curve on its page, drawn from the fields as they are typed: the
// five points fe0/V0 ... fe4/V4 joined in order, each labelled with its codes; a point whose
// frequency is out of order is drawn apart, as the drive would refuse it.

#include <QWidget>
#include <functional>
#include <vector>

#include "editor/EditorCore.h"

namespace velorin {

class VfCurvePlot : public QWidget {
    Q_OBJECT
public:
    using Source = std::function<std::vector<VfPoint>()>;
    explicit VfCurvePlot(Source source, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Source m_source;
};

}  // namespace velorin
