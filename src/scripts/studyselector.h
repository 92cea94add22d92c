#pragma once

#include "mapsettings.h"
#include "scriptfile.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QStringList>

#include <memory>

namespace Ui {
class StudySelector;
}
class QModelIndex;
class StudyFilesModel;

// Picks indicators for a chart: the indicator list, the parameters of the current one (their
// values editable, kept per indicator while the dialog is open) and the series to build on.
// A file that cannot be read shows its error instead of parameters and is not offered.
class StudySelector : public QDialog
{
    Q_OBJECT
public:
    StudySelector(StudyFilesModel *model, const QStringList &seriesNames, int seriesIndex,
                  QWidget *parent = nullptr);
    ~StudySelector() override;

    Ui::StudySelector *form() const { return m_ui.get(); }
    // The settings of each selected readable indicator as an indicator item reads them:
    // "name", "declaration", "code", "parametersCount", "parameter_%1", "styleCount",
    // "style_%1", "axis", "changeScaleRange", "customPrecision", "decimals", "crc",
    // "seriesInd".
    QList<MapSettings> results() const;
    // The same group for one file, without the series (the window's "Volume" indicator).
    static MapSettings definition(const QString &name, const StudyFile &file, quint64 crc,
                                  const QMap<QString, ScriptParameter> &values);
    QString currentName() const;
    QString errorText() const { return m_error; }

private Q_SLOTS:
    void currentChanged(const QModelIndex &current);
    void parameterEdited();

protected:
    void done(int result) override;

private:
    void showParameters(const QString &name);

    std::unique_ptr<Ui::StudySelector> m_ui;
    QPointer<StudyFilesModel> m_model;
    QHash<QString, StudyFile> m_files;     // read once each
    QHash<QString, QString> m_errors;      // files that could not be read
    QHash<QString, QMap<QString, ScriptParameter>> m_values; // edited values per indicator
    QString m_shown;
    QString m_error;
    bool m_filling = false;
};
