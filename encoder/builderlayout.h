#ifndef KWN_ENCODER_BUILDERLAYOUT_H
#define KWN_ENCODER_BUILDERLAYOUT_H

// The Encode page. Not a widget itself: it builds its widgets into one
// vertical layout that the main window installs on a page. Every edit
// rebuilds the frame at once through encodeRequest in codec/, whose verdict
// colours the fields and enables "Send".

#include "catalogue/definitions.h"
#include "codec/encoderequest.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QCheckBox;
class QCheckBoxOptional;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QTimer;
class QRadioButton;
class QTabWidget;
class QVBoxLayout;
class QWidget;

class BuilderLayout : public QObject
{
    Q_OBJECT

public:
    explicit BuilderLayout(QObject *parent = nullptr);
    ~BuilderLayout() override;

    QVBoxLayout *getLayout();

public slots:
    // Shows "Send" beside "Copy" while a bus port is open.
    void setSendAvailable(bool available);
    // A short-lived note beside Send on what became of the frame.
    void showSendNote(const QString &text, bool error);

signals:
    // "Send" was pressed: the bytes of the output frame, for the bus.
    void sendFrameRequested(const QByteArray &frame);

private slots:
    void on_LineEditFrameFormat_Edited(const QString &strNewText);
    void on_radioButtonP2P_Toggled(bool isChecked);
    void on_radioButtonGroup_Toggled(bool isChecked);
    void on_radioButtonBroadcast_Toggled(bool isChecked);
    void on_LineEditMasterNodeID_Edited(const QString &strNewText);
    void on_LineEditSlaveNodeID_Edited(const QString &strNewText);
    void on_comboBoxApplication_changed(const QString &strNewText);
    void on_comboBoxProfile_changed(const QString &strNewText);
    void on_checkBoxAcknowledge_changed(int state);
    void on_comboBoxMsg_changed(const QString &newText);
    void on_tabWidgetMessages_changed(int state);
    void on_paramValueLineEdit_Edited(const QString &newText);
    void on_paramValueLineEditHexa_Edited(const QString &newText);
    void on_paramValueCombobox_changed(const QString &newText);
    void on_paramValueCheckBox_changed(int state);
    void on_buttonCopyFrame_clicked(bool checked);
    void on_paramOptionalWidget_Changed(int state);
    void on_paramOptionalLayout_Changed(int state);
    void on_buttonSendFrame_clicked(bool checked);

private:
    // The optional box whose toggle called the slot; none while tabs are rebuilt.
    QCheckBoxOptional *toggledOptionalBox() const;
    // One parameter row of a tab: the parameter and the widgets that hold its value.
    struct ParameterRow
    {
        int parameter = -1;                 // index in the message's parameters
        QCheckBoxOptional *box = nullptr;
        QLineEdit *field = nullptr;         // decimal, hexadecimal or string
        QComboBox *combo = nullptr;         // named values
        QList<QCheckBox *> bits;            // the bit boxes shown of a bitfield
        bool edited = false;                // the field's text was typed, not its default
    };

    void buildWidgets();
    void buildDeviceRow();
    void buildHeader();
    void buildNodeIdBox();
    void buildOutput();
    void makeConnections();
    void fillProfileCombo();
    void selectProfile();
    void showNodeType();
    void rebuildMessageTabs();
    void clearMessageTabs();
    // Adds the tab of a category with its message selector; returns its index.
    int addCategoryTab(const QString &category);
    void selectCurrentMessage();
    void changeMessage();
    void checkAddressingMode();
    void createParameterEditors(int tabIndex);
    void clearLayout(QLayout *layout, bool removeAll);
    void buildFrame();
    void formatOutputFrame();

    // buildFrame then formatOutputFrame: what every edit ends with.
    void rebuildOutput();
    // "Send" is enabled only while the result of the frame is valid and the format holds "##".
    void updateSendButton();
    // Colours a node ID field by the verdict on it.
    static void colourField(QLineEdit *field, const FieldCheck &check);
    // Colours the parameter fields of the current tab and the radio buttons by the verdict.
    void showResult();
    // Builds the editor row of parameter `index` into `area`.
    ParameterRow createEditorRow(QVBoxLayout *area, const ParameterDefinition &parameter, int index,
                                 QList<QCheckBoxOptional *> &optionalBoxes);
    void createBitColumn(QVBoxLayout *area, const ParameterDefinition &parameter, int index, ParameterRow &row);
    QWidget *createValueEditor(const ParameterDefinition &parameter, ParameterRow &row);
    // What the page holds for the message of the current tab.
    EncodeRequest makeEncodeRequest() const;
    QList<ParameterRequest> parameterRequests() const;
    // The row of the current tab whose editor is `editor`, or null.
    ParameterRow *rowOfEditor(const QObject *editor);

    QVBoxLayout *layoutMain;
    QHBoxLayout *layoutDevice;
    QVBoxLayout *layoutNodeTypeAck;
    QHBoxLayout *layoutHeader;
    QComboBox *comboBoxApplication;
    QLabel *labelApplication;
    QComboBox *comboBoxProfile;
    QLabel *labelProfile;
    QGroupBox *groupBoxNodeID;
    QGroupBox *groupBoxNodeType;
    QGroupBox *groupBoxAddressing;
    QCheckBox *checkBoxAcknowledge;
    QTabWidget *tabWidgetMessages;
    // Beside the tabs: how many categories got no tab of their own.
    QLabel *labelCategoriesLeftOut;
    QGridLayout *layoutOutput;
    QLabel *labelFrameFormat;
    QLineEdit *LineEditFrameFormat;
    QLabel *labelOutputFrame;
    QLineEdit *LineEditOutputFrame;
    QVBoxLayout *layoutAddressing;
    QLabel *labelMasterNodeID;
    QLabel *labelSlaveNodeID;
    QLineEdit *LineEditMasterNodeID;
    QLineEdit *LineEditSlaveNodeID;
    QGridLayout *layoutNodeID;
    QRadioButton *radioButtonP2P;
    QRadioButton *radioButtonGroup;
    QRadioButton *radioButtonBroadcast;
    QGridLayout *layoutNodeType;
    QLabel *labelNodeType;
    QList<QWidget *> listTabPages;
    QList<QVBoxLayout *> listTabLayouts;
    QStringList listCategories;
    QList<QHBoxLayout *> listSelectorRows;
    QList<QComboBox *> listComboBoxMsg;
    // The parameter rows of each tab, by tab.
    QList<QList<ParameterRow>> listTabRows;
    // Whether each tab has its rows: the tab in sight gets them as the device
    // is chosen, any other as it is first shown.
    QList<bool> listTabBuilt;
    QPushButton *buttonCopyFrame;
    QPushButton *buttonSendFrame = nullptr;
    QLabel *labelSendNote = nullptr;
    QTimer *timerSendNote = nullptr;
    QString frameHexText;
    QByteArray frameBytes;
    ProfileMap profiles;
    ProfileDefinition selectedProfile;
    MessageMap profileMessages;
    MessageMap shownMessages;
    MessageDefinition currentMessage;
    QByteArray dataBytes;
    // The verdict on the frame last built.
    EncodeResult encodeResult;
    bool updatingTabs = false;
    bool changingApplication = false;
    // The last format string with "##": used while the field holds one without.
    QString acceptedFrameFormat;
};

#endif
