#pragma once

class QApplication;

namespace vortana {

// Application-wide set-up shared by the game and its tests: names that
// decide the data folder, Italian for Qt's own dialog buttons, and the
// fonts that stand in for the Windows families.
void setUpApplication(QApplication &app);

}  // namespace vortana
