#pragma once

#include <vector>

class QAbstractButton;
class QMenuBar;

namespace tvl::ui {

// Alt and a letter must reach one control. The menu bar's titles keep their letters; then
// each group of buttons in turn (groups shown at the same time as the ones before) keeps
// a letter nobody before it uses, or moves its mark to the first free letter of its
// caption, or loses it. Groups that are never shown together may share letters.
void resolveMnemonics(QMenuBar* bar, const std::vector<QAbstractButton*>& first,
                      const std::vector<std::vector<QAbstractButton*>>& thenEach);

}  // namespace tvl::ui
