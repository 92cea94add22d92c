#pragma once

#include <QWidget>

#include <memory>

class QComboBox;
class Settings;

namespace Ui {
class TAPlacementForm;
}

// "Размещение": where a new item's axis goes ("axisPos") and how its scale fits ("autoScale"),
// as the series and indicator default pages show them.
class TAPlacementForm : public QWidget
{
    Q_OBJECT
public:
    explicit TAPlacementForm(QWidget *parent = nullptr);
    ~TAPlacementForm() override;

    // A value outside its range reads as the default; one in range that the list does not
    // offer selects the first entry.
    void fill(const Settings &settings);
    void write(Settings &settings) const;
    QComboBox *axisPos() const;
    QComboBox *autoScale() const;

private:
    std::unique_ptr<Ui::TAPlacementForm> m_ui;
};
