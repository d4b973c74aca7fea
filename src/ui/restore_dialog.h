#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QStringList>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "journal/journal_entry.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace kestrel {

class Functions;

// The files of one journaled run, one row each with a check box: original path (control bytes
// escaped), size, state, where it is now. Only files still away can be checked; they start
// checked. O(rows) to fill, O(1) per row shown.
class RestoreFilesModel : public QAbstractTableModel {
 public:
  enum Column { kFile, kSize, kState, kWhere, kColumns };

  using QAbstractTableModel::QAbstractTableModel;

  // Shows the entries; a row shown before keeps its tick, a new one is ticked when still away.
  void SetEntries(std::vector<journal::Entry> entries);
  // Where restored files are now when that is not where the journal says (unmarked since).
  void SetMovedSince(std::map<std::string, std::string> now) { moved_since_ = std::move(now); }
  // The original paths of the checked rows.
  std::vector<std::string> Checked() const;
  void CheckAll(bool checked);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<journal::Entry> entries_;
  std::vector<char> checked_;
  std::map<std::string, std::string> moved_since_;
};

// File > Restore: the journaled runs, the files of the chosen one with check boxes, and Restore,
// which moves the checked files back (with "also remove the removal date" ticked by default).
// Reading a journal and restoring work off the UI thread; what the restore did comes out as
// lines for the Run tab's output.
class RestoreDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RestoreDialog(Functions& fn, QWidget* parent = nullptr);
  // Waits for the work in progress.
  ~RestoreDialog() override;

  QComboBox* Runs() const { return runs_; }
  QTableView* Files() const { return files_; }
  RestoreFilesModel* Model() const { return model_; }
  QCheckBox* Unmark() const { return unmark_; }
  QPushButton* RestoreButton() const { return restore_; }
  QLabel* Status() const { return status_; }
  bool Busy() const { return worker_.joinable(); }

 signals:
  // One line of what the restore did ("[Restored] path", "[Warning] ...").
  void Line(const QString& text);
  // A run's files are shown, or a restore ended.
  void Loaded();
  void Finished();

 private:
  void LoadRun();
  void StartRestore();
  void Show(const std::shared_ptr<journal::RunJournal>& run);
  void Done(int status);
  // What a restore told, counted for the line after it.
  struct Tally {
    int asked = 0, restored = 0, unmarked = 0;
    QStringList reasons;  // why files were not restored, each once
    std::string last_restored;
    std::map<std::string, std::string> moved_since;  // restored path: unmarked path
    // Takes the reason out of a "[Warning] ..." line.
    void Note(const std::string& line);
  };
  void Join();

  Functions& fn_;
  std::thread worker_;
  QComboBox* runs_;
  QLabel* status_;
  QTableView* files_;
  RestoreFilesModel* model_;
  QCheckBox* unmark_;
  QPushButton* restore_;
  QPushButton* all_;
  QPushButton* none_;
  int last_status_ = 0;
  std::shared_ptr<Tally> tally_;  // of the last restore; written by the worker until Done
  std::map<std::string, std::string> moved_since_;
};

}  // namespace kestrel
