// One movement step of the six targets.
#include "play/random.h"
#include "window/tavola.h"

namespace vortana {

void Tavola::Timer2_Timer()
{
    for (Target t : kShownFirst)
        target(t)->show();

    rng_.reseedFromClock();
    const MoveCase &step = kMoveCases[std::size_t(rng_.R(6))];

    std::int16_t *numbers[kTargets] = {nullptr, nullptr, nullptr, &vars_.disparicmdNumber,
                                       &vars_.disparicmd1Number, &vars_.disparicmd2Number};
    for (int i = 0; i < kTargets; ++i) {
        const auto t = Target(i);
        const MoveCell &cell = step[std::size_t(i)];
        FlatButton *b = target(t);
        if (cell.vis != Vis::Kept)
            b->setVisible(cell.vis == Vis::Shown);
        if (cell.left.used() || cell.top.used()) {
            const QPoint at = targetPosition(t);
            const int left = cell.left.used() ? rng_.R(cell.left.n) + cell.left.add : at.x();
            const int top = cell.top.used() ? rng_.R(cell.top.n) + cell.top.add : at.y();
            moveTarget(t, left, top);
        }
        if (cell.renumber) {
            // Only the disparicmd columns, whose numbers are set, renumber.
            std::int16_t &number = *numbers[i];  // NOLINT(clang-analyzer-core.NullDereference)
            const Renumber r = renumberOf(t);
            rng_.reseed(number);
            number = std::int16_t(11 * (rng_.R(r.m) + 1) + r.c);
            b->setText(QString::number(number));
        }
    }
}

void Tavola::moveTarget(Target t, int left, int top)
{
    QPoint &at = logicalPos_[std::size_t(t)];
    FlatButton *b = target(t);
    // A top that stays as it was keeps its pixel row: one taken over from
    // the layout's twips need not fall on a whole unit.
    const int h = surface_->height();
    const int py = top == at.y() ? b->y() : (scaleHeight_ ? int((qint64(top) * h) / scaleHeight_) : top);
    at = QPoint(left, top);
    b->move(left, py);
}

QPoint Tavola::targetPosition(Target t) const { return logicalPos_[std::size_t(t)]; }

}  // namespace vortana
