// The context menu of the log view and the group boxes, and the shortcuts beside it.
#pragma once
#include <memory>

class QMenu;
class QWidget;
class TFormFeatures;
class TFormMain;

std::unique_ptr<QMenu> BuildContextMenu(TFormFeatures& features, TFormMain& form, QWidget* parent);
// The menu on a right click on the log view or any group box; the shortcuts on the window.
void InstallContextMenus(TFormFeatures& features, TFormMain& form);
