#ifndef KWN_DEBUILDERLAYOUT_H
#define KWN_DEBUILDERLAYOUT_H

// The Decode page. Not a widget: it builds its widgets into one vertical
// layout that the main window installs on a page. Every edit of the input
// field is decoded at once by the core functions of codec/framedecoding.h;
// this class only shows their results.

#include "catalogue/definitions.h"
#include "codec/frame.h"

#include <QObject>
#include <QString>

#include <optional>

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
    void on_comboBoxProfile_changed(const QString &strNewText);
    void on_LineEditInputFrame_Edited(const QString &strNewText);

private:
    // Checks and unpacks the text: its fields, or nothing when it is refused,
    // with the reason shown in red.
    std::optional<FrameFields> parseInputFrame(const QString &text);
    void decodeMessage(const FrameFields &fields);
    // The header's read-only boxes (showHeader puts them in and fills them).
    void buildAddressingBox();
    void buildNodeIdBox();
    void buildNodeTypeAndAck();
    void showStatus(const QString &text);
    void showError(const QString &text);
    void showHeader(const FrameFields &fields);
    void fillRevisions();
    void resetPanel();
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
    bool updatingProfiles = false;
    bool frameLonger = false;
    ProfileMap profiles;
    ProfileDefinition selectedProfile;
};

#endif
