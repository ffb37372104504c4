#ifndef KWN_ENCODER_QCHECKBOXOPTIONAL_H
#define KWN_ENCODER_QCHECKBOXOPTIONAL_H

// Check box that switches an optional parameter on and off. It points at what
// it governs (an editor, or the column of a bitfield) and at the boxes of the
// later optional parameters of the same message, which follow its state. It
// owns none of them: they all belong to the tab page.

#include <QCheckBox>
#include <QList>

class QLayout;

class QCheckBoxOptional : public QCheckBox
{
    Q_OBJECT

public:
    explicit QCheckBoxOptional(QWidget *parent = nullptr);
    ~QCheckBoxOptional() override;

    void setOptionalWidget(QWidget *widget) { m_optionalWidget = widget; }
    QWidget *optionalWidget() const { return m_optionalWidget; }
    void setOptionalLayout(QLayout *layout) { m_optionalLayout = layout; }
    QLayout *optionalLayout() const { return m_optionalLayout; }
    void addDependent(QCheckBoxOptional *box) { m_dependents.append(box); }
    QList<QCheckBoxOptional *> dependents() const { return m_dependents; }

private:
    QWidget *m_optionalWidget = nullptr;
    QLayout *m_optionalLayout = nullptr;
    QList<QCheckBoxOptional *> m_dependents;
};

#endif
