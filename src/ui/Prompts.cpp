#include "ui/Prompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include <algorithm>

namespace kestrelon {

bool Prompts::openDocument(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void Prompts::message(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, "Kestrelon", text, QMessageBox::Ok, parent);
    box.exec();
}

bool Prompts::confirm(QWidget* parent, const QString& text, const QPoint& topLeft)
{
    QMessageBox box(QMessageBox::Question, "Confirm", text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    // An explicit position keeps the dialog from centring itself over its parent.
    box.move(topLeft);
    return box.exec() == QMessageBox::Yes;
}

bool Prompts::cancelOrIgnore(QWidget* parent, const QString& text)
{
    QApplication::beep();
    QMessageBox box(QMessageBox::Warning, "Kestrelon", text, QMessageBox::Cancel | QMessageBox::Ignore,
                    parent);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ignore;
}

QString Prompts::inputText(QWidget* parent, const QString& title, const QString& prompt,
                           const QString& initial)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    // Wide enough to show a long initial text (a command line) whole, within reason.
    const int textWidth = dialog.fontMetrics().horizontalAdvance(initial) + 60;
    dialog.resize(std::clamp(textWidth, 300, 700), dialog.sizeHint().height());
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : initial;
}

namespace {

QString runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& folder,
                      const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, QString(), folder, filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

} // namespace

QString Prompts::openFile(QWidget* parent, const QString& folder, const QString& filter,
                          const QString& defaultSuffix)
{
    return runFileDialog(parent, QFileDialog::AcceptOpen, folder, filter, defaultSuffix);
}

QString Prompts::saveFile(QWidget* parent, const QString& folder, const QString& filter,
                          const QString& defaultSuffix)
{
    return runFileDialog(parent, QFileDialog::AcceptSave, folder, filter, defaultSuffix);
}

bool Prompts::chooseFont(QWidget* parent, QFont& font)
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, parent);
    if (ok) {
        font = chosen;
    }
    return ok;
}

bool Prompts::chooseColour(QWidget* parent, const QString& title, QColor& colour)
{
    const QColor chosen = QColorDialog::getColor(colour, parent, title);
    // A cancelled dialog gives an invalid colour.
    if (!chosen.isValid()) {
        return false;
    }
    colour = chosen;
    return true;
}

} // namespace kestrelon
