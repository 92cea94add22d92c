#pragma once

#include <QWidget>

#include <memory>

class Settings;

namespace Ui {
class TAColorSettingsForm;
}

// The ten colours of a chart window, one colour button each. The default colours page and a
// window's own colours page show the same form; only the window's offers the reset to the
// default colours.
class TAColorSettingsForm : public QWidget
{
    Q_OBJECT
public:
    explicit TAColorSettingsForm(QWidget *parent = nullptr);
    ~TAColorSettingsForm() override;

    // Every colour from the store; a missing or invalid one shows the built-in value.
    void fill(const Settings &settings);
    // Writes the ten colour keys and nothing else.
    void write(Settings &settings) const;
    QColor color(const QString &key) const;
    void setColor(const QString &key, const QColor &color);
    void setResetOffered(bool offered);

public Q_SLOTS:
    // Fills the form from the default colours (read-only), or the built-in ones without them.
    void resetToDefaults();

private:
    std::unique_ptr<Ui::TAColorSettingsForm> m_ui;
};
