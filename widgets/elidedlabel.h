#ifndef KWN_WIDGETS_ELIDEDLABEL_H
#define KWN_WIDGETS_ELIDEDLABEL_H

// A one-line label that never asks for more room than the layout gives it:
// a text too long for its width is elided at the end, and the whole text is
// its tool tip. Its height is one line whatever the text, so a long message
// never re-flows the page.

#include <QLabel>

class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // The whole text; text() is what is shown.
    void setFullText(const QString &text);
    QString fullText() const { return m_full; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_full;
};

#endif
