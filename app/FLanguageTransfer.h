#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;
class SortedComboBox;
class TextBox;

// The import window: collects the project, the language and the source file and
// runs the language import. The project fields are set only by the project choice.
// Its controls carry the object names the rest of the program and the tests use.
class FLanguageTransfer : public QWidget {
    Q_OBJECT
  public:
    explicit FLanguageTransfer(QWidget* parent = nullptr);

    // The project file path: directory, the platform's separator, name, ".qrp",
    // joined exactly as they stand.
    static QString ProjectFilePath(const QString& directory, const QString& name);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void ApplyImportRule();
    void ApplyLanguageListRule();
    void BrowseForSourceFile();
    void Import();
    void ChooseProject();

    QFrame* fra_;
    QLabel* lbl_[4];
    TextBox* txtName_;
    QPushButton* cmdSearchProject_;
    TextBox* txtPath_;
    SortedComboBox* cboLanguages_;
    TextBox* txtImportQRP_;
    QPushButton* cmdSearchImportQRP_;
    QPushButton* cmdImport_;
    QPushButton* cmdClose_;
    bool centred_ = false;
};
