#include "patcher/CompanyConnections.h"

#include "platform/db/Database.h"
#include "platform/text/Text.h"

namespace pelvar::companydb {
namespace {

bool fileCompany(const Recordset& rows, std::size_t r) {
    return text::trim(rows.text(r, "DbType")) == "VSPMSACCESSDB";
}

std::string fileConnection(const Recordset& rows, std::size_t r, bool trimmed) {
    const auto t = [&](const char* column) {
        return trimmed ? text::trim(rows.text(r, column)) : rows.text(r, column);
    };
    return "Data Source=" + t("DbPath") + "/" + t("DbName") +
           ";Jet OLEDB:Database Password=" + rows.text(r, "DbPassWd");
}

} // namespace

std::string scriptConnection(const Recordset& rows, std::size_t r) {
    if (fileCompany(rows, r)) {
        return fileConnection(rows, r, true);
    }
    const auto t = [&](const char* column) { return text::trim(rows.text(r, column)); };
    return "Provider=SQLOLEDB.1;Password=" + t("DbPassWd") +
           ";Persist Security Info=True;User ID=" + t("DbUserName") +
           ";Data Source=" + t("DBServer") + ";Initial Catalog=" + t("DbName");
}

std::string recordConnection(const Recordset& rows, std::size_t r) {
    if (fileCompany(rows, r)) {
        return fileConnection(rows, r, false);
    }
    const auto t = [&](const char* column) { return rows.text(r, column); };
    return "UID=" + t("DbUserName") + ";Persist Security Info=True;PWD=" + t("DbPassWd") +
           ";Database=" + t("DbName") + ";Server=" + t("DBServer");
}

std::string replicationConnection(const Recordset& rows, std::size_t r, bool trimmed) {
    const auto t = [&](const char* column) {
        return trimmed ? text::trim(rows.text(r, column)) : rows.text(r, column);
    };
    return "Provider=" + t("DbProvider") + ";Persist Security Info=True;SERVER=" + t("DBServer") +
           ";UID=" + t("DbUserName") + ";PWD=" + t("DbPassWd") + ";DATABASE=" + t("DbName");
}

} // namespace pelvar::companydb
