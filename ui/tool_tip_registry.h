// Skinned windows keep the tooltips of their self-drawn widgets in a registry of their own
// (they are not widgets, so the toolkit cannot find them); translation walks it through this
// interface.
#pragma once

#include <QString>

namespace vantorel::ui {

class ToolTipRegistry {
 public:
  virtual ~ToolTipRegistry() = default;
  virtual int ToolTipCount() const = 0;
  virtual QString ToolTipText(int index) const = 0;
  virtual void SetToolTipText(int index, const QString& text) = 0;
};

}  // namespace vantorel::ui
