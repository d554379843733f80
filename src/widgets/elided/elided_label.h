#pragma once

#include <QLabel>

namespace movan {

// A one-line text that may be longer than its place: drawn cut in the
// middle with "…", whole in the tooltip and in the description assistive
// technology reads, so no word of it is lost to anyone.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    const QString &fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showFitting();

    QString m_fullText;
};

} // namespace movan
