#include "ui/ProgressForm.h"

#include "core/TypeInfoBuilder.h"

namespace qv {

const TClassInfo& TFormProgress::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TFormProgress>("TFormProgress", &TForm::StaticClassInfo())
          .Creatable()
          .Field("ProgressBar", &TFormProgress::ProgressBar)
          .Build();
  return info;
}

}  // namespace qv
