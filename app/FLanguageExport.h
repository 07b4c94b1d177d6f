#pragma once

#include <QWidget>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class SortedComboBox;
class TextBox;

// The export window: collects the project, the language to export, an optional
// reference language, whether only missing texts go, and the file to write, and
// writes the file for a translator (see LanguageExport). It looks like the import
// window: the same fonts, icons and twip-based layout, German access keys.
class FLanguageExport : public QWidget {
    Q_OBJECT
  public:
    explicit FLanguageExport(QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void Connect();
    void ApplyExportRule();
    void ApplyReferenceRule();
    void ChooseProject();
    void BrowseForExportFile();
    void Export();
    QString ProjectFile() const;

    QFrame* fra_;
    QLabel* lbl_[5];
    TextBox* txtName_;
    QPushButton* cmdSearchProject_;
    TextBox* txtPath_;
    SortedComboBox* cboLanguages_;
    SortedComboBox* cboReference_;
    QCheckBox* chkMissingOnly_;
    TextBox* txtExportFile_;
    QPushButton* cmdSearchExportFile_;
    QPushButton* cmdExport_;
    QPushButton* cmdClose_;
    QString projectFile_;
    bool centred_ = false;
};
