#ifndef KWN_DEBUILDERLAYOUT_H
#define KWN_DEBUILDERLAYOUT_H
// Placeholder until the page is written.
#include <QObject>
class QVBoxLayout;
class DebuilderLayout : public QObject
{
    Q_OBJECT
public:
    explicit DebuilderLayout(QObject *parent = nullptr);
    ~DebuilderLayout() override;
    QVBoxLayout *getLayout();
private:
    QVBoxLayout *layoutMain;
};
#endif
