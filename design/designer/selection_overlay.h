#pragma once
// A transparent widget over the whole form that takes the pointer and the
// keyboard while the form is edited, so the controls below get no clicks of
// their own. It keeps the selection and draws it (grab handles around a
// single selected control, a frame around each of several), the picture
// boxes' frames and the rubber band. A picture box is selected by its own
// area where no control lies, and is moved and resized as a control is
// (its controls go with it); it stays on the form.
//
// Click selects, Ctrl- or Shift-click adds or removes, dragging on the
// empty form selects what the band meets, dragging a selected control
// moves the selection, dragging a handle resizes the one selected control,
// the arrow keys move the selection by a pixel (with Ctrl by a grid step;
// with Shift they resize it by a pixel), Delete deletes it, Esc puts back
// what a drag under way moved. Drags snap to the dot grid and to the edges
// and centres of the other controls, boxes and the form, showing a guide
// line where an edge met one; Alt held suspends snapping. A moved
// control is never left clipped by its container: a drag puts it into the
// picture box (or onto the form) it is dropped on, and keys move it only
// within its own.

#include "design/designer/edit_geometry.h"

#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMenu;

namespace velmora::designer {

class FormCanvas;

class SelectionOverlay final : public QWidget {
public:
    explicit SelectionOverlay(FormCanvas& canvas);

    // The selected controls' names, in the order they were selected.
    const std::vector<std::string>& selection() const { return selection_; }
    void select(std::vector<std::string> names);
    void selectAll();
    // The form was (re)built: names no longer on it leave the selection.
    void formLoaded();

    // The dot grid's step in pixels (below 2: no grid) and whether drags
    // snap at all.
    void setGrid(int step);
    int grid() const { return grid_; }
    void setSnapping(bool on) { snapping_ = on; }
    bool snapping() const { return snapping_; }
    // The guide lines shown now (x of a vertical one, y of a horizontal one).
    std::optional<int> guideX() const { return guideX_; }
    std::optional<int> guideY() const { return guideY_; }

    // Called before the first change of a gesture (for undo; `nudge` for a
    // move by the arrow keys), after a gesture changed the form, whenever
    // the selection changes (its owner may refuse a change by selecting the
    // former controls again), and for the context menu's commands.
    std::function<void(std::string_view what, bool nudge)> onBeginChange;
    std::function<void()> onChanged;
    // A drag that had begun a change was cancelled: the form is as before it.
    std::function<void()> onCancelChange;
    std::function<void()> onSelectionChanged;
    std::function<void(const QPoint& at)> onAddAt;
    std::function<void(const QPoint& at)> onAddBoxAt;
    std::function<void()> onDelete;
    // Adds its owner's commands to the context menu opened at `at`.
    std::function<void(QMenu& menu, const QPoint& at)> onContextMenu;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    enum class Drag { None, Move, Resize, Band };
    bool selected(const std::string& name) const;
    // A selectable name's rectangle on the canvas (a control's or a picture
    // box's); nothing for names no longer on the form.
    std::optional<QRect> rectOf(std::string_view name) const;
    // Puts the control or picture box of that name at `onCanvas`.
    void placeItem(std::string_view name, const QRect& onCanvas);
    void setSelection(std::vector<std::string> names);
    void moveSelection(const QPoint& delta, const std::vector<QRect>& from);
    std::vector<QRect> selectedRects() const;
    void beginChange(std::string_view what, bool nudge = false);
    // Ends a move drag: each control goes where it was dropped.
    void settleMove(const QPoint& delta);
    void updateCursor(const QPoint& p);
    // Esc during a drag.
    void cancelDrag();
    // What a drag snaps to: every rectangle but the selection's.
    std::vector<QRect> snapTargets() const;
    // `r` snapped unless snapping is off or Alt is held; sets the guides.
    QRect snap(const QRect& r, std::optional<Handle> handle, Qt::KeyboardModifiers modifiers);

    FormCanvas& canvas_;
    std::vector<std::string> selection_;
    Drag drag_ = Drag::None;
    QPoint pressAt_;
    QPoint bandTo_;
    Handle handle_ = Handle::TopLeft;
    std::vector<QRect> startRects_;     // of the selection, when the drag began
    QPoint grabOffset_;                 // of the pointer in the control it grabbed
    std::size_t grabbed_ = 0;           // that control's place in the selection
    QPoint moved_;                      // how far the drag has moved the selection
    std::vector<std::string> bandBase_; // kept by a band drawn with Ctrl or Shift
    bool changing_ = false;             // the gesture has changed the form
    int grid_ = 8;
    bool snapping_ = true;
    std::optional<int> guideX_; // guide lines while a drag has snapped
    std::optional<int> guideY_;
};

} // namespace velmora::designer
