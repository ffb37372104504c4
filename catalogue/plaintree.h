#ifndef KWN_CATALOGUE_PLAINTREE_H
#define KWN_CATALOGUE_PLAINTREE_H

// A document in the plain XML of definition files (see plainXmlCheck), read
// in one pass into flat arrays: the nodes the DOM reader would build for it
// (elements, text that is not only white space, comments) in document order,
// each element with its attributes as byte ranges of the document. What the
// message reader needs of a file, without a node object per node.

#include <QByteArray>
#include <QString>

#include <vector>

struct PlainTree
{
    enum Kind : quint8 { Element, Other }; // Other: text or a comment

    struct Node
    {
        Kind kind = Other;
        int parent = -1;
        int firstChild = -1;
        int lastChild = -1;
        int nextSibling = -1;
        int nameAt = 0;
        int nameSize = 0;
        int firstAttribute = 0;
        int attributeCount = 0;
    };

    struct Attribute
    {
        int nameAt = 0;
        int nameSize = 0;
        int valueAt = 0;
        int valueSize = 0;
        int expanded = -1; // index into `expanded` for a value holding references
    };

    QByteArray xml;
    std::vector<Node> nodes;
    std::vector<Attribute> attributes;
    std::vector<QString> expanded;

    // The value of the node's attribute `name`, or `absent` when it has none
    // (text and comments have none).
    QString attribute(int node, const QString &name, const QString &absent = QString()) const;
    bool isNamed(int node, const char *name) const;
};

// True when `xml` is plain enough for plainXmlCheck and its attribute values
// and text hold nothing the parser might read otherwise (tabs and line ends
// in values, references in text); `tree` then holds it. False says nothing:
// the full parser judges.
bool readPlainTree(const QByteArray &xml, PlainTree *tree);

#endif
