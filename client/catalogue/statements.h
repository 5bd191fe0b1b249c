// Every SQL text the client runs against the catalogue database, kept in one place. Fixed texts
// are exact; named statements carry their select and, where rows are edited through a data
// set, the modify/insert/delete statements (":FIELD" parameters take the row's values).
#pragma once

#include <string_view>

namespace zentra::catalogue::sql {

struct NamedStatement {
    std::string_view name;
    std::string_view select;
    std::string_view modify = {};
    std::string_view insert = {};
    std::string_view remove = {};
};

// Settings.
inline constexpr std::string_view kReadConst = " select fvalue from tconst where fid=:pid";
inline constexpr std::string_view kInsertConst =
    " INSERT INTO TCONST (FID,FNAME,FVALUE) VALUES (:pID,:pNAME,:pVALUE)";
inline constexpr std::string_view kWriteConst = " update tconst set fvalue=:pvalue where fid=:pid";

// Group tree.
inline constexpr std::string_view kChildGroups = "select fid from TDIRECTORIES where fparent=:pparent";
inline constexpr std::string_view kTreeLevel =
    "SELECT FID,  FNAME, FPARENT, FDIRTYPE,FBEGDATE, FENDDATE, FVISIBLE, FORDER,FCOMMENTS, FDATA\n"
    "FROM TDIRECTORIES\n"
    "WHERE (FPARENT=:FPARENT) and (FID <> 0)\n"
    " AND (FVISIBLE=1) AND (FBEGDATE<=:pBEGDATE) AND ((FENDDATE is NULL) OR (FENDDATE>=:pENDDATE))\n"
    "ORDER BY FORDER";
inline constexpr std::string_view kGroupProductCount =
    "SELECT count(FID)  FROM TPRODUCTS WHERE (FSTATE >0) ";
inline constexpr std::string_view kGroupNewCountHead =
    "SELECT count(FID)  FROM TPRODUCTS WHERE (FCREATEDATE >= '";  // + date + "') " + conditions
inline constexpr std::string_view kNewFolderCount =
    "SELECT count(FID)  FROM TPRODUCTS WHERE  (FNEW=1) and  (FSTATE > 0)";
inline constexpr std::string_view kListAttributes =
    "SELECT FID,FNAME\nFROM TATTRSETUP\nWHERE FATTRTYPE = 10 and FLISTVIEW=1\nORDER BY FPARTORDER";

// Product list of the main window (qProducts).
// The column list of the product list, shared by its select and its refresh statement.
#define ZENTRA_PRODUCT_COLUMNS                                                                  \
    "SELECT FID,  FIDDIRECTORIES,  FNUMBER,  FNAME,  FSTATE, FANNOTATION, FQTY,  FPRICE,  "      \
    "FAMOUNT, FCREATEDATE,   FUPDATEDATE, FPICTURE, FTOP100, FFAVORITE, FANALOGGROUP, "          \
    "FANALOGCOUNT, FNEW, FCLIENTGROUPID, FCLIENTGROUPNAME, FCERTIFICATION, DIRNAME, attr_1, "    \
    "attr_2, attr_3, attr_4, attr_5, attr_6, attr_7, attr_8, attr_9, attr_10 FROM  "
inline constexpr std::string_view kProductColumns = ZENTRA_PRODUCT_COLUMNS;
inline constexpr std::string_view kProductsSelect =
    ZENTRA_PRODUCT_COLUMNS
    "GET_DIR_PRODUCTS(:DIRLIST,:PIDDIRECTORIES,:pDiscountType,:pDiscount,:PANALOGGROUP) ";
#undef ZENTRA_PRODUCT_COLUMNS
inline constexpr std::string_view kProductsModify =
    "UPDATE TPRODUCTS SET FQTY = :FQTY, FAMOUNT = :FAMOUNT WHERE (FID = :FID)";
inline constexpr std::string_view kProductsDeleteFavorite =
    "DELETE FROM TFAVORITEPRODUCT WHERE FIDPRODUCTS=:FID";
inline constexpr std::string_view kProductsDelete = "DELETE FROM TPRODUCTS WHERE (FID = :FID)";

// Favourites.
inline constexpr std::string_view kFavoriteAdd =
    "INSERT INTO TFAVORITEPRODUCT (FIDPRODUCTS) VALUES (:FIDPRODUCTS)";
inline constexpr std::string_view kFavoriteDelete =
    "DELETE FROM TFAVORITEPRODUCT WHERE FIDPRODUCTS=:FIDPRODUCTS";

// Basket import.
inline constexpr std::string_view kImportFindProduct =
    "SELECT P.FID, P.FNUMBER, P.FNAME, P.FQTY, P.FPRICE, P.FIDDIRECTORIES, D.fdirtype, D.fname\n"
    "FROM TPRODUCTS P, TDIRECTORIES D\n"
    "where (P.FID<>0) and D.FID=P.FIDDIRECTORIES and  (P.FSTATE > 0) and(P.FPRICE > 0) and  "
    "P.FNUMBER=:PNUMBER";
inline constexpr std::string_view kImportSetQuantity =
    "UPDATE TPRODUCTS SET FQTY=:PQTY, FAMOUNT=:PAMOUNT WHERE FID=:PID";

// Search.
inline constexpr std::string_view kClearFindResult = "DELETE FROM TFINDRESULT";
inline constexpr std::string_view kFindHead = "SELECT FID FROM TPRODUCTS WHERE ";
inline constexpr std::string_view kFindInsertHead = "INSERT INTO TFINDRESULT (FIDPRODUCTS)VALUES (";

// News state after an update.
inline constexpr std::string_view kNewsClearStatus = "UPDATE TNEWS SET FSTATUS = 0";
inline constexpr std::string_view kNewsSetStatusHead =
    "UPDATE TNEWS SET FSTATUS = 1 WHERE  FIDADM_NEWS IN (";

// Price export.
inline constexpr std::string_view kExportAttribute =
    "SELECT FIDATTRSETUP, FVALUE FROM GET_ATTRPRODUCT(:PFIDPRODUCTS,'',0) WHERE FATTRTYPE >= 10 "
    "AND FNAME=:PNAME";

inline constexpr std::string_view kUpdateAttribute =
    "EXECUTE PROCEDURE UPD_ATTRPRODUCT(:PFIDPRODUCTS,:PFIDATTRSETUP,:PFVALUE)";

// The attribute whose value the order file shows in its "х-код" column (see qAttr).
inline constexpr int kOrderCodeAttribute = 1;

// Named statements.
extern const NamedStatement qOrders;
extern const NamedStatement qFolderProducts;
extern const NamedStatement qGetSum;
extern const NamedStatement qClearProducts;
extern const NamedStatement qCopyToRecucle;
extern const NamedStatement qAttrProduct;
extern const NamedStatement qDirImg;
extern const NamedStatement qGetActiveBanner;
extern const NamedStatement qNewOrder;
extern const NamedStatement qOrder;
extern const NamedStatement qOrderProducts;  // "qProducts" of the order window
extern const NamedStatement qOrderGetSum;    // "qGetSum" of the order window
extern const NamedStatement qOrderRecip;
extern const NamedStatement qGetOrderRecip;
extern const NamedStatement qAttr;
extern const NamedStatement qGetDir;
extern const NamedStatement qInsertDir;
extern const NamedStatement qUpdateDir;
extern const NamedStatement qClearDirVisible;
extern const NamedStatement qClearPrice;
extern const NamedStatement qGetProduct;
extern const NamedStatement qInsertProduct;
extern const NamedStatement qUpdateProduct;
extern const NamedStatement qGetProductImage;
extern const NamedStatement qUpdateProdImage;
extern const NamedStatement qUpdateProdText;
extern const NamedStatement qClearTOP100;
extern const NamedStatement qSetTOP100;
extern const NamedStatement qNews;
extern const NamedStatement qBanners;
extern const NamedStatement qINSTALLED_UPDATE;
extern const NamedStatement qDeleteqINSALLED_UPDATE;
extern const NamedStatement qFindINSTALLED_UPDATE;
extern const NamedStatement qUPDATECHECKED;
extern const NamedStatement qSelectNeededUpdates;
extern const NamedStatement qInsertINSTALLED_UPDATE;

}  // namespace zentra::catalogue::sql
