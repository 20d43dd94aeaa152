// SPDX-License-Identifier: GPL-3.0-or-later
// "Datei > Regeln...": the pattern file and the allow-list of an account
// side by side, one line per table row, each with how many of the current
// rows it matches over every account that uses the files (counted anew as
// a line is edited). A line that has matched nothing for 30 days since it
// came is grey: kept, but perhaps no longer needed. The dialog names the
// files and the accounts that use them.
// OK writes each file whole or leaves it as it was; a pattern that would
// match every message is refused.
#pragma once

#include <QDialog>

#include <string>
#include <unordered_map>
#include <vector>

class QTableWidget;

class CRulesDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr long long kUnusedAfterSeconds = 30LL * 24 * 60 * 60;

    // texts: the current rows' message texts (header and first lines) of
    // every account that uses the files; hits: when each line last matched
    // (or came); now: seconds since the epoch; accounts: their names.
    CRulesDlg(std::string patternFile, std::string allowFile, std::vector<std::string> texts,
              std::unordered_map<std::string, long long> hits, long long now,
              const std::vector<std::string> &accounts = {}, QWidget *parent = nullptr);
    // The text naming the files and accounts.
    QString Where() const { return m_where; }

    QTableWidget *Table(bool allowList) const { return allowList ? m_allow : m_patterns; }
    // What the last refused OK said (empty before).
    const QString &Refusal() const { return m_refusal; }

public slots:
    void accept() override;

private:
    QTableWidget *MakeTable(const std::string &path, bool allowList);
    void AddLine(QTableWidget *table, const QString &line, bool allowList);
    void Recount(QTableWidget *table, int row, bool allowList);
    std::vector<std::string> Lines(QTableWidget *table) const;

    std::string m_patternFile, m_allowFile;
    std::vector<std::string> m_texts;
    std::unordered_map<std::string, long long> m_hits;
    long long m_now;
    QTableWidget *m_patterns = nullptr;
    QTableWidget *m_allow = nullptr;
    QString m_refusal;
    QString m_where;
};
