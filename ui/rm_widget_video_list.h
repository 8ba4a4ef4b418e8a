#pragma once

#include <QItemSelection>
#include <QTableWidget>
#include <functional>

#include "app/rm_language.h"
#include "app/rm_play_event.h"

class QShortcut;
class RMVideoItem;
class RMWidgetVideoListDelegate;

// The table of recordings: five fixed columns painted from the list's shown
// items, a tick box per row and a tick-all box in the header. A double click
// (or next/previous) selects a recording for playing.
class RMWidgetVideoList : public QTableWidget {
    Q_OBJECT
public:
    enum SELECTION_TYPE {
        SELECTION_KEEP = 0,
        SELECTION_RESET = 1,
    };

    explicit RMWidgetVideoList(QWidget* parent);

    void updateHeader();
    void updateList(SELECTION_TYPE type, RMVideoItem* item);
    void playItem(RMVideoItem* item);
    void selectItem(RMVideoItem* item);
    RMVideoItem* getSelectedItem() const;
    void refreshAllCheckBox();
    void scrollToSelectedItem();

    RMWidgetVideoListDelegate* delegate() const { return _delegate; }
    QShortcut* nextShortcut() const { return _nextShortcut; }
    QShortcut* previousShortcut() const { return _previousShortcut; }

    // The player tells whether something plays and ends its stepping modes;
    // until it is installed nothing plays.
    static void setPlaybackHooks(std::function<bool()> isPlaying, std::function<void()> endSteps);

    static const int kDoubleClickGuardMs = 300;

public Q_SLOTS:
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onListUpdateStart(bool bLoading);
    void onListUpdateEnd(bool bLoading);
    void onPlayItemFound(RMVideoItem* item, int);
    void onPlayNoMoreItem();
    void onDoubleClickItem(int row, int column);
    void onCheckBoxClicked();
    void onCheckBoxAllClicked();
    void onSelectionChanged(QItemSelection selected, QItemSelection deselected);
    void onNext();
    void onPrevious();
    void onRefreshItem();
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

Q_SIGNALS:
    void listSelected(RMVideoItem* item);
    void itemChecked(bool selected);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int _selectedRow() const;
    bool _isPlaying() const;
    void _endSteps() const;
    bool _isDroppedPress(QMouseEvent* event) const;
    void _reportUnreadable(const RMVideoItem* item);

    bool _doubleClickGuard = false;
    RMWidgetVideoListDelegate* _delegate;
    QShortcut* _nextShortcut;
    QShortcut* _previousShortcut;
};
