#include "tools/World.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

const std::pair<Fault, const char*> kFaultNames[] = {
    {Fault::RefuseLogin, "refuse_login"},       {Fault::UnknownCatalog, "unknown_catalog"},
    {Fault::BatchError, "batch_error"},         {Fault::LateBatchError, "late_batch_error"},
    {Fault::BatchHang, "batch_hang"},           {Fault::LockWait, "lock_wait"},
    {Fault::CommitLost, "commit_lost"},         {Fault::CommitLostAfter, "commit_lost_after"},
    {Fault::RollbackFail, "rollback_fail"},     {Fault::DropInBatch, "drop_in_batch"},
    {Fault::DeadlockVictim, "deadlock_victim"},
};

Fault FaultFromName(const std::string& name) {
    for (const auto& [fault, text] : kFaultNames)
        if (name == text) return fault;
    throw std::runtime_error("unknown fault \"" + name + "\"");
}

const char* FaultName(Fault fault) {
    for (const auto& [f, text] : kFaultNames)
        if (f == fault) return text;
    return "?";
}

void RejectUnknownKeys(const json& object, std::initializer_list<const char*> known, const std::string& where) {
    for (const auto& item : object.items()) {
        bool ok = false;
        for (const char* k : known) ok = ok || item.key() == k;
        if (!ok) throw std::runtime_error("unknown key \"" + item.key() + "\" in " + where);
    }
}

CatalogModel CatalogFromJson(const json& j, const std::string& name) {
    if (!j.is_object()) throw std::runtime_error("catalog \"" + name + "\" is not an object");
    RejectUnknownKeys(
        j,
        {"port_table", "location_width", "ix_port_location", "index_builds", "location_nulls", "other_location_index",
         "location_constraint", "collation", "faults", "error_number", "error_message"},
        "catalog \"" + name + "\"");
    CatalogModel c;
    c.portTable = j.value("port_table", false);
    if (j.contains("location_width") && !j["location_width"].is_null())
        c.locationWidth = j["location_width"].get<int>();
    c.ixPortLocation = j.value("ix_port_location", false);
    c.indexBuilds = j.value("index_builds", 0);
    c.locationNulls = j.value("location_nulls", false);
    c.otherLocationIndex = j.value("other_location_index", "");
    c.locationConstraint = j.value("location_constraint", "");
    c.collation = j.value("collation", c.collation);
    if (j.contains("faults"))
        for (const auto& f : j.at("faults")) c.faults.insert(FaultFromName(f.get<std::string>()));
    c.errorNumber = j.value("error_number", c.errorNumber);
    c.errorMessage = j.value("error_message", c.errorMessage);
    return c;
}

json CatalogToJson(const CatalogModel& c) {
    json j;
    j["port_table"] = c.portTable;
    j["location_width"] = c.locationWidth ? json(*c.locationWidth) : json(nullptr);
    j["ix_port_location"] = c.ixPortLocation;
    j["index_builds"] = c.indexBuilds;
    j["location_nulls"] = c.locationNulls;
    j["other_location_index"] = c.otherLocationIndex;
    j["location_constraint"] = c.locationConstraint;
    j["collation"] = c.collation;
    json faults = json::array();
    for (Fault f : c.faults) faults.push_back(FaultName(f));
    j["faults"] = faults;
    j["error_number"] = c.errorNumber;
    j["error_message"] = c.errorMessage;
    return j;
}

}  // namespace

World ParseWorld(const std::string& jsonText) {
    json j;
    try {
        j = json::parse(jsonText);
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("state is not JSON: ") + e.what());
    }
    if (!j.is_object()) throw std::runtime_error("state is not a JSON object");
    try {
        RejectUnknownKeys(j, {"silent", "logins", "catalogs"}, "the state");
        World w;
        w.silent = j.value("silent", false);
        const json none = json::object();
        const json& logins = j.contains("logins") ? j.at("logins") : none;
        const json& catalogs = j.contains("catalogs") ? j.at("catalogs") : none;
        for (const auto& [login, password] : logins.items()) w.logins[login] = password.get<std::string>();
        for (const auto& [name, catalog] : catalogs.items()) w.catalogs[name] = CatalogFromJson(catalog, name);
        return w;
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("state has a wrong type: ") + e.what());
    }
}

std::string WorldToJson(const World& world) {
    json j;
    j["silent"] = world.silent;
    j["logins"] = json::object();
    for (const auto& [login, password] : world.logins) j["logins"][login] = password;
    j["catalogs"] = json::object();
    for (const auto& [name, catalog] : world.catalogs) j["catalogs"][name] = CatalogToJson(catalog);
    return j.dump(2) + "\n";
}

World LoadWorld(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the state file " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return ParseWorld(text.str());
}

void SaveWorld(const World& world, const std::string& path) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << WorldToJson(world);
        out.flush();
        if (!out) throw std::runtime_error("cannot write " + tmp);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot replace " + path);
}

World DemoWorld() {
    World w;
    w.logins["pallado_user"] = "vermilion";
    w.catalogs["Pallado"] = CatalogModel{};
    CatalogModel zant;
    zant.portTable = true;
    zant.locationWidth = 100;
    zant.ixPortLocation = true;
    w.catalogs["ZANT"] = zant;
    w.catalogs["ZANT_Backup"] = zant;
    CatalogModel model = zant;
    model.locationWidth = 60;
    model.ixPortLocation = false;
    w.catalogs["ZANT_model"] = model;
    return w;
}

bool CatalogModel::CaseSensitive() const {
    return collation.find("_CS_") != std::string::npos || collation.find("_BIN") != std::string::npos;
}

SchemaBatchRun RunSchemaBatch(CatalogModel& c, const std::string& name) {
    SchemaBatchRun run;
    if (!c.portTable || !c.locationWidth || *c.locationWidth >= 140) return run;
    if (c.ixPortLocation) {
        c.ixPortLocation = false;
        run.ran.push_back({"drop_index", {}});
    }
    if (c.Has(Fault::LockWait)) {
        run.waiting = true;
        return run;
    }
    // The server checks what depends on the column before it reads a row.
    std::vector<ServerError> errors;
    for (const auto& [kind, object] : {std::pair{"index", &c.otherLocationIndex}, {"object", &c.locationConstraint}})
        if (!object->empty())
            errors.push_back(
                {5074, std::string("The ") + kind + " '" + *object + "' is dependent on column 'LOCATION'."});
    if (!errors.empty()) {
        errors.push_back(
            {4922, "ALTER TABLE ALTER COLUMN LOCATION failed because one or more objects access this column."});
    } else if (c.locationNulls) {
        errors = {{515, "Cannot insert the value NULL into column 'LOCATION', table '" + name +
                            ".dbo.PORT'; column does not allow nulls. UPDATE fails."},
                  {3621, "The statement has been terminated.", 0}};
    }
    if (errors.empty()) c.locationWidth = 140;
    run.ran.push_back({"alter_column", errors});
    if (!c.ixPortLocation) {
        c.ixPortLocation = true;
        ++c.indexBuilds;
        run.ran.push_back({"create_index", {}});
    }
    return run;
}
