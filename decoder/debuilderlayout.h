#ifndef KWN_DEBUILDERLAYOUT_H
#define KWN_DEBUILDERLAYOUT_H

// The Decode page. Not a widget: it builds its widgets into one vertical
// layout that the main window installs on a page. Every edit of the input
// field is decoded at once through DecodeCatalogue (codec/framereport.h), the
// path of `kwn-frame decode` and the Bus page; this class only shows its
// report.

#include "codec/frame.h"

#include <QObject>
#include <QString>

#include <memory>

class DecodeCatalogue;
struct MessageDecoding;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QRadioButton;
class QVBoxLayout;

class DebuilderLayout : public QObject
{
    Q_OBJECT

public:
    explicit DebuilderLayout(QObject *parent = nullptr);
    ~DebuilderLayout() override;

    QVBoxLayout *getLayout();

public slots:
    // Puts the text into "Frame to decode" and decodes it as any edit.
    void decodeFrameText(const QString &text);

private slots:
    void on_LineEditInputFrame_Edited(const QString &strNewText);

private:
    void showMessage(const MessageDecoding &decoding);
    void showParameters(const MessageDecoding &decoding);
    // The header's read-only boxes (showHeader puts them in and fills them).
    void buildAddressingBox();
    void buildNodeIdBox();
    void buildNodeTypeAndAck();
    void showStatus(const QString &text);
    void showError(const QString &text);
    void showHeader(const FrameFields &fields);
    void fillRevisions();
    void clearDecoded();
    void emptyLayout(QLayout *layout);
    void buildPage();

    QVBoxLayout *layoutMain = nullptr;
    QHBoxLayout *layoutDevice = nullptr;
    QHBoxLayout *layoutMessage = nullptr;
    QVBoxLayout *layoutParameters = nullptr;
    QVBoxLayout *layoutNodeTypeAck = nullptr;
    QHBoxLayout *layoutHeader = nullptr;
    QVBoxLayout *layoutAddressing = nullptr;
    QVBoxLayout *layoutDecoded = nullptr;
    QVBoxLayout *layoutMessageSection = nullptr;
    QLineEdit *LineEditApplication = nullptr;
    QLabel *labelApplication = nullptr;
    QComboBox *comboBoxProfile = nullptr;
    QLabel *labelProfile = nullptr;
    QHBoxLayout *layoutInputFrame = nullptr;
    QLabel *labelInputFrame = nullptr;
    QLineEdit *LineEditInputFrame = nullptr;
    QGroupBox *groupBoxNodeID = nullptr;
    QGroupBox *groupBoxNodeType = nullptr;
    QGroupBox *groupBoxAddressing = nullptr;
    QCheckBox *checkBoxAcknowledge = nullptr;
    QLabel *labelSource = nullptr;
    QLabel *labelDestination = nullptr;
    QLineEdit *LineEditSource = nullptr;
    QLineEdit *LineEditDestination = nullptr;
    QGridLayout *layoutNodeID = nullptr;
    QRadioButton *radioButtonP2P = nullptr;
    QRadioButton *radioButtonGroup = nullptr;
    QRadioButton *radioButtonBroadcast = nullptr;
    QGridLayout *layoutNodeType = nullptr;
    QLabel *labelNodeType = nullptr;
    QLabel *labelMessage = nullptr;
    QLineEdit *LineEditMessage = nullptr;
    QLineEdit *LineEditStatus = nullptr;
    // The catalogue of the folder "xml" in the working folder at start,
    // checked again before every decode, so that an edit of its files shows
    // at the next one.
    std::unique_ptr<DecodeCatalogue> catalogue;
};

#endif
