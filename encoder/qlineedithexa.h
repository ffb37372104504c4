#ifndef KWN_ENCODER_QLINEEDITHEXA_H
#define KWN_ENCODER_QLINEEDITHEXA_H

// Line edit of an integer parameter edited in hexadecimal. It only carries
// the limits and the width of the value; the page's slot judges the range.

#include <QLineEdit>

class QLineEditHexa : public QLineEdit
{
    Q_OBJECT

public:
    explicit QLineEditHexa(QWidget *parent = nullptr);
    ~QLineEditHexa() override;

    quint32 minUnsigned() const { return m_minUnsigned; }
    quint32 maxUnsigned() const { return m_maxUnsigned; }
    qint32 minSigned() const { return m_minSigned; }
    qint32 maxSigned() const { return m_maxSigned; }
    quint8 byteSize() const { return m_byteSize; }
    bool isSigned() const { return m_isSigned; }

    void setMinUnsigned(quint32 value) { m_minUnsigned = value; }
    void setMaxUnsigned(quint32 value) { m_maxUnsigned = value; }
    void setMinSigned(qint32 value) { m_minSigned = value; }
    void setMaxSigned(qint32 value) { m_maxSigned = value; }
    void setByteSize(quint8 value) { m_byteSize = value; }
    void setSigned(bool value) { m_isSigned = value; }

private:
    quint32 m_minUnsigned = 0;
    quint32 m_maxUnsigned = 0;
    qint32 m_minSigned = 0;
    qint32 m_maxSigned = 0;
    quint8 m_byteSize = 0; // set for signed values only: the width of the pattern
    bool m_isSigned = false;
};

#endif
