/*
 * Stand-in for the ERP database (Tarvell): the objects that the server reads
 * from it, and nothing else. The server only reads these tables and advances
 * DESCARGAS_DES_CODIGO_GEN; it never changes the structure.
 *
 * Run with isql on a database that has just been created with
 *   CREATE DATABASE '...' DEFAULT CHARACTER SET WIN1252;
 * (SQL dialect 3), like schema/coleta.sql.
 *
 * The synchronisation reads the producers with
 *   ... FROM PRODUTORES A, CLI_FOR B, CIDADES C
 *   WHERE A.PRO_CLIFOR = B.CLI_CODIGO AND B.CLI_CIDADE = C.CID_CODIGO
 * naming most columns without a table alias, so every column name below
 * belongs to one table only (CLI_RAZAO, always qualified there, excepted).
 * There are no foreign keys: a producer without a CLI_FOR entry, or an entry
 * naming a city that does not exist, is simply left out by that join, and
 * tests need to be able to build such rows.
 *
 * The synchronisation compares ERP and collection values by type, so the
 * types follow the collection database: coordinates as text, route,
 * active flag and order as whole numbers.
 */

SET SQL DIALECT 3;

/* Load keys drawn by the handhelds when the server is set up with an ERP. */
CREATE SEQUENCE DESCARGAS_DES_CODIGO_GEN;

CREATE TABLE CIDADES (
    CID_CODIGO  INTEGER NOT NULL,
    CID_NOME    VARCHAR(100),
    CID_UF      CHAR(2),
    CONSTRAINT PK_CIDADES PRIMARY KEY (CID_CODIGO)
);

/* Customers and suppliers; the producers are among them. */
CREATE TABLE CLI_FOR (
    CLI_CODIGO    INTEGER NOT NULL,
    CLI_RAZAO     VARCHAR(150),
    CLI_ENDERECO  VARCHAR(200),
    CLI_BAIRRO    VARCHAR(100),
    CLI_CIDADE    INTEGER,
    CLI_CNPJCPF   VARCHAR(18),
    CONSTRAINT PK_CLI_FOR PRIMARY KEY (CLI_CODIGO)
);

CREATE TABLE ROTAS (
    ROT_CODIGO     INTEGER NOT NULL,
    ROT_DESCRICAO  VARCHAR(100),
    CONSTRAINT PK_ROTAS PRIMARY KEY (ROT_CODIGO)
);

/* CLI_RAZAO here is the producer's own name, used when its CLI_FOR entry
   has none. PRO_TRANSPORTADOR is the route the producer is collected on. */
CREATE TABLE PRODUTORES (
    PRO_CLIFOR         INTEGER NOT NULL,
    CLI_RAZAO          VARCHAR(150),
    PRO_LATITUDE       VARCHAR(30),
    PRO_LONGITUDE      VARCHAR(30),
    PRO_TRANSPORTADOR  INTEGER,
    PRO_ATIVO          INTEGER,
    PRO_ORDEM          INTEGER,
    CONSTRAINT PK_PRODUTORES PRIMARY KEY (PRO_CLIFOR)
);

/* Average collected quantity per producer, one row each. In the ERP this
   is worked out from its own collection records; here it is a plain table
   so that the averages can be set directly. NUMERIC keeps the value exact;
   the average update binds it as a number, so the operator's decimal comma
   never reaches the statement. */
CREATE TABLE COL001 (
    PRO_CLIFOR  INTEGER NOT NULL,
    PRO_MEDIA   NUMERIC(15,2),
    CONSTRAINT PK_COL001 PRIMARY KEY (PRO_CLIFOR)
);

COMMIT;
