#ifndef KWN_TESTS_PAGES_H
#define KWN_TESTS_PAGES_H

// The Encode and Decode pages side by side in one shown window, as the main
// window holds them, on the catalogue of the current folder.

#include "decoder/debuilderlayout.h"
#include "encoder/builderlayout.h"

#include <QHBoxLayout>
#include <QWidget>

struct Pages
{
    Pages()
    {
        decodePanel = new DebuilderLayout(nullptr);
        encodePanel = new BuilderLayout(nullptr);
        encodePage = new QWidget;
        encodePage->setLayout(encodePanel->getLayout());
        decodePage = new QWidget;
        decodePage->setLayout(decodePanel->getLayout());
        auto *both = new QHBoxLayout(&widget);
        both->addWidget(encodePage);
        both->addWidget(decodePage);
        widget.resize(1480, 600);
        widget.show();
    }
    ~Pages()
    {
        // The widgets go before the panels that made them.
        delete encodePage;
        delete decodePage;
        delete encodePanel;
        delete decodePanel;
    }
    Pages(const Pages &) = delete;
    Pages &operator=(const Pages &) = delete;

    template<typename T = QWidget> T *find(const QString &name) const { return widget.findChild<T *>(name); }

    QWidget widget;
    QWidget *encodePage = nullptr;
    QWidget *decodePage = nullptr;
    BuilderLayout *encodePanel = nullptr;
    DebuilderLayout *decodePanel = nullptr;
};

#endif
