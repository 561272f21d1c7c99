#pragma once

#include <QList>
#include <QPointer>
#include <QUiLoader>

namespace intercom {

// Builds forms from interface files with the project's own widget classes in place of the
// base classes that the files fall back to, and wakes each of them once the whole form is
// built (their `awakeFromNib`), so that they find their outlets and style themselves.
class UiLoader : public QUiLoader {
  public:
    UiLoader();

    QWidget* loadForm(QIODevice* device);

  protected:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override;

  private:
    QList<QPointer<QWidget>> created_;
};

}  // namespace intercom
