#pragma once

#include <cstddef>
#include <string>

namespace pelvar {

class Recordset;

// Connection strings of the databases a patch run reaches from the security database's
// rows: a company (a VaCompany row) and a showroom's replication database (a Showroommaster
// row of a Head Office company). A file company ("VSPMSACCESSDB") is reached by its DbPath and
// DbName, any other through its server.
namespace companydb {

// The application-script step's form: server fields trimmed, in the provider's key order.
std::string scriptConnection(const Recordset& companies, std::size_t row);
// The final task's form: fields as stored, in the ODBC key order.
std::string recordConnection(const Recordset& companies, std::size_t row);
// A replication database; the script step trims the fields, the final task does not.
std::string replicationConnection(const Recordset& rooms, std::size_t row, bool trimmed);

inline constexpr const char* ShowroomQuery =
    "SELECT * FROM Showroommaster where dbname is not null and dbname <>''";

} // namespace companydb
} // namespace pelvar
