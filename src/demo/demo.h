#pragma once
#include <QString>
#include <QVector>
#include <functional>

class QSqlDatabase;

namespace demo {

struct Account {
    QString name;
    QString password;
    int level;
};

// The three demo accounts, one per permission level.
QVector<Account> accounts();
// The description stored with a permission level: "题库管理用户", "试卷管理用户", "超级用户".
QString levelDescription(int level);

// Creates a new database file with the schema and the given users. Refuses an existing file; the
// file appears only when it is complete. In place of a file's path, each of these takes a server's
// URI (postgresql://...): the bank is then made in that empty database, all in one transaction.
void createDatabase(const QString& path, const QVector<Account>& users);
// Creates the demo database: the demo accounts, a bank of several subjects, and in the paper
// library two papers of 数学 (an A paper and its B paper) with one sitting of scores.
void createDemoDatabase(const QString& path);
// Creates a generated bank of `questions` questions (10 subjects, 8 types and 20 chapters each,
// texts of 100 to 600 Chinese characters, all five difficulties), deterministic for a seed.
// Type 1 of subject 1 holds 5,000 questions and type 2 2,000; from kLargeBank questions on they
// hold a tenth and a fiftieth of the bank, and type 1's questions take the 20 chapters in turn.
// `progress` is told the questions written so far.
constexpr int kLargeBank = 1000000;
void createGeneratedDatabase(const QString& path, int questions, unsigned seed = 1,
                             const std::function<void(qint64, qint64)>& progress = {});

// A generated bank of another shape, for tests at size without the time and room of a million
// questions: type 1 of subject 1 holds `firstType` questions (taking the 20 chapters in turn, as in
// a large bank), and every text is `textLength` characters long.
struct GeneratedShape {
    int questions = 0;
    int firstType = 0;   // 0: by the bank's size, as above
    int textLength = 0;  // 0: 100 to 600 characters at random
};
void createGeneratedDatabase(const QString& path, const GeneratedShape& shape, unsigned seed = 1,
                             const std::function<void(qint64, qint64)>& progress = {});

// Makes a new bank at `target` (a file path or a server URI, as above) and fills it with `fill`
// inside the bank's creating transaction.
void buildBank(const QString& target, const std::function<void(QSqlDatabase&)>& fill);

}  // namespace demo
