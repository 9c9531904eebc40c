#pragma once

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QPrinter;

// Paper, orientation and margins of the shared printer, for a machine whose
// printing goes to PDF only (no printer installed), where the system's page
// set-up cannot be used.
class PageSetupDialog : public QDialog {
    Q_OBJECT
public:
    PageSetupDialog(QPrinter* printer, QWidget* parent = nullptr);
    void accept() override;

private:
    QPrinter* m_printer;
    QComboBox* m_paper;
    QComboBox* m_orientation;
    QDoubleSpinBox* m_margins[4];
};
