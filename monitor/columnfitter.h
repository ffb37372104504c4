#ifndef KWN_MONITOR_COLUMNFITTER_H
#define KWN_MONITOR_COLUMNFITTER_H

// Keeps some columns of a table view as wide as the texts they have held:
// names up to a maximum (past it they elide, whole in their tool tips) and
// numbers whole however long they grow, and those that ask for it never
// narrower than their title, with room for the sort arrow where it shows.
// Only the rows a model adds or changes are measured (a few hundred at most
// for one change), and only texts about as long as the longest seen, so a
// busy bus costs a few string lengths a row. A column the user resizes is
// left as the user made it from then on; `userSized` says which, for the
// settings.
//
// One fitter per model shown in the view: it sizes the view only while its
// model (or a proxy of it) is the view's.

#include <QObject>
#include <QSet>
#include <QVector>

#include <climits>

class QAbstractItemModel;
class QModelIndex;
class QTableView;

class ColumnFitter : public QObject
{
    Q_OBJECT

public:
    struct Column
    {
        int column = 0;
        int maxWidth = 0; // 0: none
        // At most this part of the view's width (0: any), so that a small
        // window keeps room for the values; more as the window grows.
        double maxShare = 0;
        // Never narrower than its title with the sort arrow (a number's
        // column, whose title says what the digits are).
        bool wholeTitle = false;
    };

    ColumnFitter(QTableView *view, QAbstractItemModel *model, const QVector<Column> &columns,
                 QObject *parent = nullptr);

    // Sizes the columns to what they have held, when the view shows the model.
    void apply();
    // Forgets the texts held (the model was emptied); the widths stay.
    void forgetTexts();

    QSet<int> userSized() const { return m_userSized; }
    void setUserSized(const QSet<int> &columns) { m_userSized = columns; }

    // The width a column needs for what it has held.
    int neededWidth(int column) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Measure
    {
        Column fit;
        int longestChars = 0;
        int widest = 0; // pixels of the widest text held
    };

    bool showsModel() const;
    int titleWidth(int column) const;
    // The rows' texts of the columns fitted from firstColumn to lastColumn.
    void measureRows(int first, int last, int firstColumn = 0, int lastColumn = INT_MAX);
    void sectionResized(int logical, int oldSize, int newSize);

    QTableView *m_view;
    QAbstractItemModel *m_model;
    QVector<Measure> m_columns;
    QSet<int> m_userSized;
    bool m_applying = false;
};

#endif
