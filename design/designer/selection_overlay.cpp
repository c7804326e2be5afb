#include "design/designer/selection_overlay.h"

#include "control/property_table.h"
#include "design/designer/form_canvas.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace velmora::designer {

namespace {

bool adds(Qt::KeyboardModifiers m) {
    return (m & (Qt::ControlModifier | Qt::ShiftModifier)) != 0;
}

Qt::CursorShape cursorFor(Handle h) {
    switch (h) {
    case Handle::TopLeft:
    case Handle::BottomRight:
        return Qt::SizeFDiagCursor;
    case Handle::TopRight:
    case Handle::BottomLeft:
        return Qt::SizeBDiagCursor;
    case Handle::Top:
    case Handle::Bottom:
        return Qt::SizeVerCursor;
    case Handle::Left:
    case Handle::Right:
        return Qt::SizeHorCursor;
    }
    return Qt::ArrowCursor;
}

} // namespace

SelectionOverlay::SelectionOverlay(FormCanvas& canvas) : QWidget(&canvas), canvas_(canvas) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

bool SelectionOverlay::selected(const std::string& name) const {
    return std::any_of(selection_.begin(), selection_.end(),
                       [&](const std::string& s) { return EqualsNoCase(s, name); });
}

void SelectionOverlay::setSelection(std::vector<std::string> names) {
    if (names == selection_) return;
    selection_ = std::move(names);
    update();
    if (onSelectionChanged) onSelectionChanged();
}

void SelectionOverlay::select(std::vector<std::string> names) {
    std::vector<std::string> known;
    for (const std::string& n : names)
        if (const FormCanvas::Control* c = canvas_.find(n))
            known.push_back(c->name(canvas_));
        else if (const FormCanvas::Box* box = canvas_.findBox(n))
            known.push_back(box->name);
    setSelection(std::move(known));
}

std::optional<QRect> SelectionOverlay::rectOf(std::string_view name) const {
    if (const FormCanvas::Control* c = canvas_.find(name)) return c->onCanvas();
    if (const FormCanvas::Box* box = canvas_.findBox(name)) return box->place;
    return std::nullopt;
}

void SelectionOverlay::placeItem(std::string_view name, const QRect& onCanvas) {
    if (FormCanvas::Control* c = canvas_.find(name))
        canvas_.place(*c, onCanvas);
    else if (FormCanvas::Box* box = canvas_.findBox(name))
        canvas_.placeBox(*box, onCanvas);
}

void SelectionOverlay::selectAll() {
    std::vector<std::string> all;
    for (const auto& c : canvas_.controls())
        all.push_back(c->name(canvas_));
    setSelection(std::move(all));
}

void SelectionOverlay::setGrid(int step) {
    grid_ = step;
    update();
}

std::vector<QRect> SelectionOverlay::snapTargets() const {
    std::vector<QRect> out;
    for (const auto& c : canvas_.controls())
        if (!selected(c->name(canvas_))) out.push_back(c->onCanvas());
    for (const auto& box : canvas_.boxes())
        if (box->name.empty() || !selected(box->name))
            out.push_back(box->place); // the form's own box too
    return out;
}

QRect SelectionOverlay::snap(const QRect& r, std::optional<Handle> handle,
                             Qt::KeyboardModifiers modifiers) {
    guideX_.reset();
    guideY_.reset();
    if (!snapping_ || (modifiers & Qt::AltModifier) != 0) return r;
    const Snapped s = SnapRect(r, handle, snapTargets(), grid_);
    guideX_ = s.guideX;
    guideY_ = s.guideY;
    return s.rect;
}

void SelectionOverlay::cancelDrag() {
    const Drag drag = drag_;
    drag_ = Drag::None;
    guideX_.reset();
    guideY_.reset();
    if ((drag == Drag::Move || drag == Drag::Resize) && changing_) {
        moveSelection({}, startRects_);
        changing_ = false;
        if (onCancelChange) onCancelChange();
    }
    update();
}

void SelectionOverlay::formLoaded() {
    drag_ = Drag::None;
    std::vector<std::string> kept;
    for (const std::string& n : selection_)
        if (rectOf(n)) kept.push_back(n);
    selection_ = std::move(kept);
    update();
}

std::vector<QRect> SelectionOverlay::selectedRects() const {
    std::vector<QRect> out;
    for (const std::string& n : selection_)
        if (const auto r = rectOf(n)) out.push_back(*r);
    return out;
}

void SelectionOverlay::beginChange(std::string_view what, bool nudge) {
    if (changing_) return;
    changing_ = true;
    if (onBeginChange) onBeginChange(what, nudge);
}

void SelectionOverlay::settleMove(const QPoint& delta) {
    for (std::size_t i = 0; i < selection_.size() && i < startRects_.size(); ++i) {
        if (FormCanvas::Box* box = canvas_.findBox(selection_[i])) {
            canvas_.placeBox(
                *box, LimitToBox(startRects_[i].translated(delta), canvas_.boxes().front()->place));
            continue;
        }
        FormCanvas::Control* c = canvas_.find(selection_[i]);
        if (c == nullptr) continue;
        // Each control is dropped where the pointer would be had it grabbed
        // that control at the same spot (the grabbed one: where it was let go).
        const QRect moved = startRects_[i].translated(delta);
        const QPoint at = moved.topLeft() + grabOffset_;
        const QPoint drop(std::clamp(at.x(), moved.left(), moved.right()),
                          std::clamp(at.y(), moved.top(), moved.bottom()));
        canvas_.settle(*c, moved, drop);
    }
}

void SelectionOverlay::moveSelection(const QPoint& delta, const std::vector<QRect>& from) {
    for (std::size_t i = 0; i < selection_.size() && i < from.size(); ++i)
        placeItem(selection_[i], from[i].translated(delta));
}

void SelectionOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The grid's dots, where no control hides them.
    if (grid_ >= 4) {
        std::vector<QRect> covered;
        for (const auto& c : canvas_.controls())
            covered.push_back(c->onCanvas());
        painter.setPen(QColor(0, 0, 0, 96));
        for (int y = 0; y < height(); y += grid_)
            for (int x = 0; x < width(); x += grid_)
                if (std::none_of(covered.begin(), covered.end(),
                                 [&](const QRect& r) { return r.contains(x, y); }))
                    painter.drawPoint(x, y);
    }
    // Picture boxes: a sunken frame.
    for (const auto& box : canvas_.boxes()) {
        if (box->name.empty()) continue;
        const QRect r = box->place.adjusted(0, 0, -1, -1);
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(QColor(224, 224, 224));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    }
    const std::vector<QRect> rects = selectedRects();
    if (rects.size() == 1) {
        const QRect r = rects.front();
        painter.setPen(QPen(QColor(0, 0, 0), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        painter.setPen(QColor(0, 0, 0));
        painter.setBrush(QColor(0, 0, 128));
        for (const QRect& h : HandleRects(r))
            painter.drawRect(h.adjusted(0, 0, -1, -1));
    } else {
        painter.setBrush(Qt::NoBrush);
        for (std::size_t i = 0; i < rects.size(); ++i) {
            // The first selected, whose values the property list shows,
            // is drawn darker.
            painter.setPen(QPen(i == 0 ? QColor(0, 0, 128) : QColor(96, 96, 160), 1));
            painter.drawRect(rects[i].adjusted(-1, -1, 0, 0));
        }
    }
    painter.setPen(QPen(QColor(255, 0, 160), 1, Qt::DashLine));
    if (guideX_) painter.drawLine(*guideX_, 0, *guideX_, height());
    if (guideY_) painter.drawLine(0, *guideY_, width(), *guideY_);
    if (drag_ == Drag::Band) {
        painter.setPen(QPen(QColor(0, 0, 0), 1, Qt::DashLine));
        painter.setBrush(QColor(0, 0, 128, 32));
        painter.drawRect(SpanRect(pressAt_, bandTo_).adjusted(0, 0, -1, -1));
    }
}

void SelectionOverlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint p = event->position().toPoint();
    pressAt_ = p;
    bandTo_ = p;
    changing_ = false;
    const std::vector<QRect> rects = selectedRects();
    if (rects.size() == 1 && !adds(event->modifiers())) {
        if (const auto h = HandleAt(rects.front(), p)) {
            drag_ = Drag::Resize;
            handle_ = *h;
            startRects_ = rects;
            return;
        }
    }
    // A control, else the picture box whose own area was pressed.
    std::optional<std::string> hitName;
    if (FormCanvas::Control* c = canvas_.controlAt(p))
        hitName = c->name(canvas_);
    else if (const FormCanvas::Box& box = canvas_.boxAt(p); !box.name.empty())
        hitName = box.name;
    if (hitName) {
        const std::string name = *hitName;
        if (adds(event->modifiers())) {
            std::vector<std::string> next = selection_;
            if (selected(name))
                std::erase_if(next, [&](const std::string& s) { return EqualsNoCase(s, name); });
            else
                next.push_back(name);
            setSelection(std::move(next));
            drag_ = Drag::None;
            return;
        }
        if (!selected(name)) setSelection({name});
        // The owner kept the former selection: nothing to drag.
        if (!selected(name)) {
            drag_ = Drag::None;
            return;
        }
        drag_ = Drag::Move;
        startRects_ = selectedRects();
        grabOffset_ = p - rectOf(name).value_or(QRect()).topLeft();
        grabbed_ = 0;
        for (std::size_t i = 0; i < selection_.size(); ++i)
            if (EqualsNoCase(selection_[i], name)) grabbed_ = i;
        moved_ = {};
        return;
    }
    bandBase_ = adds(event->modifiers()) ? selection_ : std::vector<std::string>{};
    if (!adds(event->modifiers())) setSelection({});
    if (!adds(event->modifiers()) && !selection_.empty()) {
        drag_ = Drag::None;
        return;
    }
    drag_ = Drag::Band;
}

void SelectionOverlay::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const QPoint delta = p - pressAt_;
    switch (drag_) {
    case Drag::None:
        updateCursor(p);
        return;
    case Drag::Move:
        if (delta.isNull() && !changing_) return;
        beginChange("Move");
        // The grabbed control snaps; the others keep their distance to it.
        moved_ = grabbed_ < startRects_.size() ? snap(startRects_[grabbed_].translated(delta),
                                                      std::nullopt, event->modifiers())
                                                         .topLeft() -
                                                     startRects_[grabbed_].topLeft()
                                               : delta;
        moveSelection(moved_, startRects_);
        update();
        return;
    case Drag::Resize: {
        if (delta.isNull() && !changing_) return;
        if (selection_.empty() || startRects_.empty() || !rectOf(selection_.front())) return;
        beginChange("Resize");
        placeItem(selection_.front(), snap(ResizeRect(startRects_.front(), handle_, delta), handle_,
                                           event->modifiers()));
        update();
        return;
    }
    case Drag::Band:
        bandTo_ = p;
        update();
        return;
    }
}

void SelectionOverlay::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Drag drag = drag_;
    drag_ = Drag::None;
    guideX_.reset();
    guideY_.reset();
    update();
    if (drag == Drag::Band) {
        bandTo_ = event->position().toPoint();
        const QRect band = SpanRect(pressAt_, bandTo_);
        std::vector<std::string> next = bandBase_;
        for (const auto& c : canvas_.controls()) {
            const std::string& name = c->name(canvas_);
            if (c->onCanvas().intersects(band) &&
                std::none_of(next.begin(), next.end(),
                             [&](const std::string& s) { return EqualsNoCase(s, name); }))
                next.push_back(name);
        }
        setSelection(std::move(next));
        update();
        return;
    }
    if (changing_) {
        if (drag == Drag::Move) settleMove(moved_);
        changing_ = false;
        if (onChanged) onChanged();
    }
}

void SelectionOverlay::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && drag_ != Drag::None) {
        cancelDrag();
        return;
    }
    QPoint delta;
    switch (event->key()) {
    case Qt::Key_Left:
        delta = {-1, 0};
        break;
    case Qt::Key_Right:
        delta = {1, 0};
        break;
    case Qt::Key_Up:
        delta = {0, -1};
        break;
    case Qt::Key_Down:
        delta = {0, 1};
        break;
    case Qt::Key_Delete:
        if (!selection_.empty() && onDelete) onDelete();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (selection_.empty() || drag_ != Drag::None) return;
    const bool resize = (event->modifiers() & Qt::ShiftModifier) != 0;
    if ((event->modifiers() & Qt::ControlModifier) != 0 && !resize) delta *= std::max(1, grid_);
    changing_ = false;
    beginChange(resize ? "Resize" : "Move", true);
    for (const std::string& name : selection_) {
        const auto at = rectOf(name);
        if (!at) continue;
        QRect r = *at;
        if (resize)
            r.setSize(
                QSize(std::max(1, r.width() + delta.x()), std::max(1, r.height() + delta.y())));
        else
            r.translate(delta);
        const FormCanvas::Control* c = canvas_.find(name);
        placeItem(name, LimitToBox(r, (c ? c->box : canvas_.boxes().front().get())->place));
    }
    changing_ = false;
    if (onChanged) onChanged();
}

void SelectionOverlay::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint at = event->pos();
    if (FormCanvas::Control* hit = canvas_.controlAt(at); hit && !selected(hit->name(canvas_)))
        setSelection({hit->name(canvas_)});
    QMenu menu(this);
    menu.addAction(QStringLiteral("Add Image Control Here"), [this, at] {
        if (onAddAt) onAddAt(at);
    });
    menu.addAction(QStringLiteral("Add Picture Box Here"), [this, at] {
        if (onAddBoxAt) onAddBoxAt(at);
    });
    QAction* remove = menu.addAction(QStringLiteral("Delete"), [this] {
        if (onDelete) onDelete();
    });
    remove->setEnabled(!selection_.empty());
    if (onContextMenu) onContextMenu(menu, at);
    menu.exec(event->globalPos());
}

void SelectionOverlay::updateCursor(const QPoint& p) {
    const std::vector<QRect> rects = selectedRects();
    if (rects.size() == 1)
        if (const auto h = HandleAt(rects.front(), p)) {
            setCursor(cursorFor(*h));
            return;
        }
    setCursor(canvas_.controlAt(p) != nullptr ? Qt::SizeAllCursor : Qt::ArrowCursor);
}

} // namespace velmora::designer
