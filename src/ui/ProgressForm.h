#pragma once
// TFormProgress: the small progress window of the data components, built
// from its form resource. Only a design environment shows it; Setup never
// does, but carries it as the components define it.
#include "controls/ExtCtrls.h"
#include "shell/Forms.h"

namespace qv {

class TFormProgress : public TForm {
  QV_TYPE_INFO
 public:
  explicit TFormProgress(TComponent* owner) : TForm(owner) {}

  TProgressBar* ProgressBar = nullptr;
};

}  // namespace qv
