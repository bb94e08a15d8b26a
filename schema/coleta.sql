/*
 * Collection database (COLETA.FDB): what the handhelds download and upload.
 *
 * Run with isql on a database that has just been created with
 *   CREATE DATABASE '...' DEFAULT CHARACTER SET WIN1252;
 * (SQL dialect 3). The file holds no CREATE DATABASE or CONNECT of its own so
 * that the demo set-up and the test fixture load the same text.
 *
 * Column types of the five catalogue tables (ROTAS, PRODUTORES, USUARIOS,
 * MOTIVO_NAOCOLETA, PARAMETROSESPECIAIS) are limited to the kinds that the
 * catalogue rows can carry to a handheld: CHAR/VARCHAR, SMALLINT, INTEGER,
 * BLOB SUB_TYPE TEXT, FLOAT/DOUBLE PRECISION, NUMERIC/DECIMAL with decimal
 * places, DATE and TIMESTAMP. A BIGINT, TIME or BOOLEAN there would reach the
 * handheld as a blank and pop up a message box on the operator's screen for
 * every row, so none is used.
 *
 * Upload tables (CARGAS, COLETAS, RASTREAMENTO) receive the handheld's values
 * spliced into the statement: numbers bare, everything else as a text literal
 * that the database converts. Dates and times arrive as text such as
 * '12/31/2026', '12/31/2026 08:00:00' or '2026-12-31 08:00:00'; TIMESTAMP
 * columns accept all of them, so every date the handheld sends goes into one. Keys that the handheld makes up itself are BIGINT, since we do
 * not know how large it lets them grow.
 */

SET SQL DIALECT 3;

/* Generators ------------------------------------------------------------ */

CREATE SEQUENCE GEN_LOG;            /* LOG_CONEXAO.LOG_ID */
CREATE SEQUENCE GEN_RASTREAMENTO;   /* RASTREAMENTO.RAS_ID */
CREATE SEQUENCE GEN_CARGAS;         /* load keys handed to the handhelds when no ERP is set */

/* One sequence for the change numbers of every catalogue table. A handheld
   asks for the rows above the highest number it holds per table; numbers
   shared between tables only leave gaps, which it does not mind. */
CREATE SEQUENCE GEN_SEQUENCIALALTERACAO;

/* Server state ---------------------------------------------------------- */

/* One row per connection, keyed by the socket descriptor number. The flags
   are '' until the first request opens the session, then 'N' or 'S'. */
CREATE TABLE SESSOESATIVAS (
    SES_ID         BIGINT NOT NULL,
    LIBERADO       VARCHAR(1),
    EMPRESACERTA   VARCHAR(1),
    VERSAOCORRETA  VARCHAR(1),
    IP             VARCHAR(64),
    CONSTRAINT PK_SESSOESATIVAS PRIMARY KEY (SES_ID)
);

/* One row per session opening. The latitude is stored as the handheld sent
   it (quoted), the longitude is placed bare in the statement and so must be
   a number. */
CREATE TABLE LOG_CONEXAO (
    LOG_ID           BIGINT NOT NULL,
    LOG_DISPOSITIVO  VARCHAR(100),
    DATAHORA         TIMESTAMP,
    LOG_LATITUDE     VARCHAR(40),
    LOG_LONGITUDE    DOUBLE PRECISION,
    LOG_IP           VARCHAR(64),
    CONSTRAINT PK_LOG_CONEXAO PRIMARY KEY (LOG_ID)
);

/* Row 1 holds the company identifier that a handheld must present and the
   handheld version the server expects. PAR_EMPRESA is text because the
   handshake compares it, as text, with the company field of the request. */
CREATE TABLE PARAMETROS (
    PAR_ID         INTEGER NOT NULL,
    PAR_EMPRESA    VARCHAR(20),
    PAR_VERSAOAPK  VARCHAR(20),
    CONSTRAINT PK_PARAMETROS PRIMARY KEY (PAR_ID)
);

/* Register of handhelds. DIS_LIBERADO = 'S' is set by the office, never by
   the server; an unknown handheld is added with 'N'. No column has a default:
   the handshake sends nulls as 0, 'N' or an empty field and those rules must
   be reachable. DIS_PERCENTUALDIFERENCA is a whole number so that its text in
   the handshake reply does not depend on the host's decimal separator. */
CREATE TABLE DISPOSITIVOS (
    DIS_ID                   VARCHAR(64) NOT NULL,
    DIS_LIBERADO             VARCHAR(1),
    DIS_NROTANQUES           INTEGER,
    DIS_VALIDAMEDIA          VARCHAR(1),
    DIS_PERCENTUALDIFERENCA  INTEGER,
    DIS_IGNORAROTA           VARCHAR(1),
    DIS_ROTAS                VARCHAR(200),
    DIS_DATAHORACONEXAO      TIMESTAMP,
    DIS_VERSAOAPK            VARCHAR(30),
    CONSTRAINT PK_DISPOSITIVOS PRIMARY KEY (DIS_ID)
);

/* Catalogues downloaded by the handhelds -------------------------------- */

CREATE TABLE ROTAS (
    ROT_CODIGO           INTEGER NOT NULL,
    ROT_DESCRICAO        VARCHAR(100),
    SEQUENCIALALTERACAO  INTEGER,
    CONSTRAINT PK_ROTAS PRIMARY KEY (ROT_CODIGO)
);

/* Producers, copied from the ERP by the synchronisation. The coordinates are
   text because the ERP keeps them as text; the synchronisation writes them
   bare and the database turns the number back into text. PRO_ROTA receives
   the ERP's PRO_TRANSPORTADOR, a whole number, and is compared with it as a
   number, so it is one too. PRO_MEDIA starts at 0 rather than null: the
   average update only touches rows whose PRO_MEDIA differs from the ERP's,
   and a null never differs. */
CREATE TABLE PRODUTORES (
    PRO_CLIFOR           INTEGER NOT NULL,
    CLI_RAZAO            VARCHAR(150),
    PRO_LATITUDE         VARCHAR(30),
    PRO_LONGITUDE        VARCHAR(30),
    PRO_ENDERECO         VARCHAR(200),
    PRO_BAIRRO           VARCHAR(100),
    PRO_CIDADE           VARCHAR(100),
    PRO_MEDIA            NUMERIC(15,2) DEFAULT 0,
    PRO_ROTA             INTEGER,
    PRO_ORDEM            INTEGER,
    SEQUENCIALALTERACAO  INTEGER,
    PRO_ATIVO            INTEGER,
    ID_OUTROSISTEMA      INTEGER,
    CONSTRAINT PK_PRODUTORES PRIMARY KEY (PRO_CLIFOR)
);

CREATE TABLE USUARIOS (
    USU_NOME             VARCHAR(100) NOT NULL,
    USU_SENHA            VARCHAR(30),
    USU_MASTER           VARCHAR(1),
    SEQUENCIALALTERACAO  INTEGER,
    CONSTRAINT PK_USUARIOS PRIMARY KEY (USU_NOME)
);

CREATE TABLE MOTIVO_NAOCOLETA (
    MOT_ID               INTEGER NOT NULL,
    MOT_DESCRICAO        VARCHAR(100),
    SEQUENCIALALTERACAO  INTEGER,
    CONSTRAINT PK_MOTIVO_NAOCOLETA PRIMARY KEY (MOT_ID)
);

/* Named values for the handhelds; the server itself writes INTEGRATARVELL
   at every start of the service. */
CREATE TABLE PARAMETROSESPECIAIS (
    PAR_CAMPO            VARCHAR(60) NOT NULL,
    PAR_VALOR            VARCHAR(500),
    SEQUENCIALALTERACAO  INTEGER,
    CONSTRAINT PK_PARAMETROSESPECIAIS PRIMARY KEY (PAR_CAMPO)
);

/* The handhelds ask for rows above a change number, ordered by it. */
CREATE INDEX IX_ROTAS_SEQUENCIAL ON ROTAS (SEQUENCIALALTERACAO);
CREATE INDEX IX_PRODUTORES_SEQUENCIAL ON PRODUTORES (SEQUENCIALALTERACAO);
CREATE INDEX IX_USUARIOS_SEQUENCIAL ON USUARIOS (SEQUENCIALALTERACAO);
CREATE INDEX IX_MOTIVO_NAOCOLETA_SEQUENCIAL ON MOTIVO_NAOCOLETA (SEQUENCIALALTERACAO);
CREATE INDEX IX_PARAMETROSESPECIAIS_SEQ ON PARAMETROSESPECIAIS (SEQUENCIALALTERACAO);

/* Uploads from the handhelds -------------------------------------------- */

/* A load is one trip of a truck. CAR_CODIGO comes from GEN_CARGAS or from
   the ERP's generator, both 64-bit. A load is sent again while it is under
   way and once more when it is finished; the key makes each upload replace
   the stored row. CAR_DATAHORAFIM is null until the trip ends. CAR_DATA is
   a TIMESTAMP rather than a DATE because a DATE column refuses a text that
   carries a time of day, and the handheld may send the load's date either
   way. */
CREATE TABLE CARGAS (
    CAR_CODIGO               BIGINT NOT NULL,
    CAR_DATA                 TIMESTAMP,
    CAR_DATAHORAINICIO       TIMESTAMP,
    CAR_DATAHORAFIM          TIMESTAMP,
    CAR_TOTALCARGA           NUMERIC(15,3),
    CAR_ID_APARELHO          VARCHAR(64),
    CAR_IDORIGINAL           BIGINT,
    CAR_FINALIZADO           VARCHAR(1),
    CAR_TRANSMITIDO          VARCHAR(1),
    CAR_USUARIO              VARCHAR(100),
    CAR_ROTA                 INTEGER,
    CAR_NUMEROCOLETAS        INTEGER,
    CAR_DATAHORATRANSMISSAO  TIMESTAMP,
    CAR_KMINICIAL            NUMERIC(15,3),
    CAR_KMFINAL              NUMERIC(15,3),
    CAR_DISTANCIAPERCORRIDA  NUMERIC(15,3),
    CONSTRAINT PK_CARGAS PRIMARY KEY (CAR_CODIGO)
);

/* A collection is one stop at a producer within a load.
   The upload is an UPDATE OR INSERT without MATCHING, so the primary key
   alone decides whether a re-sent collection replaces the stored one. The
   key is the load the collection belongs to plus the handheld's own
   identifier of the collection:
   - CAR_CODIGO is handed out by the server, so it is unique across all
     handhelds, and COL_IDORIGINAL is unique within the handheld that made
     the load; together they name one collection everywhere.
   - COL_IDORIGINAL is what the acknowledgement echoes and what the handheld
     uses to mark the collection as sent, so the row we replace is the one
     the handheld means.
   - Neither changes between uploads: everything else (quantity, tests,
     cancelled flag, even the sequence number) may be corrected by a later
     upload and must not create a second row.
   The handheld's load identifier (CAR_IDORIGINAL) is not in the key: two
   handhelds may both number their loads from 1. */
CREATE TABLE COLETAS (
    CAR_CODIGO               BIGINT NOT NULL,
    COL_IDORIGINAL           BIGINT NOT NULL,
    COL_SEQU                 INTEGER,
    COL_PRODUTOR             INTEGER,
    COL_LATITUDE             DOUBLE PRECISION,
    COL_LONGITUDE            DOUBLE PRECISION,
    COL_DATAHORA             TIMESTAMP,
    COL_QTDE                 NUMERIC(15,3),
    COL_EXPORTADO            VARCHAR(1),
    CAR_IDORIGINAL           BIGINT,
    COL_USUARIO              VARCHAR(100),
    COL_CANCELADA            VARCHAR(1),
    COL_DATAHORATRANSMISSAO  TIMESTAMP,
    PRO_LATITUDE             DOUBLE PRECISION,
    PRO_LONGITUDE            DOUBLE PRECISION,
    COL_TANQUE               INTEGER,
    COL_TESTEACIDEZ          VARCHAR(30),
    COL_TEMPERATURA          NUMERIC(9,2),
    COL_NROAMOSTRA           BIGINT,
    COL_COLETOU              INTEGER,
    COL_MOTIVONAOCOLETA      INTEGER,
    COL_AMOSTRA              VARCHAR(100),
    COL_RESULTADOALIZAROL    NUMERIC(9,2),
    CONSTRAINT PK_COLETAS PRIMARY KEY (CAR_CODIGO, COL_IDORIGINAL)
);

CREATE INDEX IX_COLETAS_PRODUTOR ON COLETAS (COL_PRODUTOR);

/* Tracking points are only ever appended; RAS_ID comes from GEN_RASTREAMENTO
   inside the insert itself. RAS_PRECISAO arrives quoted and is kept as the
   handheld wrote it. */
CREATE TABLE RASTREAMENTO (
    RAS_ID                   BIGINT NOT NULL,
    RAS_LATITUDE             DOUBLE PRECISION,
    RAS_LONGITUDE            DOUBLE PRECISION,
    RAS_DATAHORA             TIMESTAMP,
    RAS_DATAHORARECEBIMENTO  TIMESTAMP,
    RAS_DISPOSITIVO          VARCHAR(64),
    RAS_CARGAABERTA          BIGINT,
    RAS_VELOCIDADE           DOUBLE PRECISION,
    RAS_DISTANCIA            DOUBLE PRECISION,
    RAS_PRECISAO             VARCHAR(30),
    CONSTRAINT PK_RASTREAMENTO PRIMARY KEY (RAS_ID)
);

CREATE INDEX IX_RASTREAMENTO_DISPOSITIVO ON RASTREAMENTO (RAS_DISPOSITIVO, RAS_DATAHORA);

/* Change numbers --------------------------------------------------------- */

/* Every insert and every update of a catalogue row takes a fresh change
   number, whoever writes it (the synchronisation, the office, an isql
   session); the server only reads it. */
SET TERM ^ ;

CREATE TRIGGER ROTAS_SEQUENCIAL FOR ROTAS
ACTIVE BEFORE INSERT OR UPDATE POSITION 0
AS
BEGIN
    NEW.SEQUENCIALALTERACAO = GEN_ID(GEN_SEQUENCIALALTERACAO, 1);
END^

CREATE TRIGGER PRODUTORES_SEQUENCIAL FOR PRODUTORES
ACTIVE BEFORE INSERT OR UPDATE POSITION 0
AS
BEGIN
    NEW.SEQUENCIALALTERACAO = GEN_ID(GEN_SEQUENCIALALTERACAO, 1);
END^

CREATE TRIGGER USUARIOS_SEQUENCIAL FOR USUARIOS
ACTIVE BEFORE INSERT OR UPDATE POSITION 0
AS
BEGIN
    NEW.SEQUENCIALALTERACAO = GEN_ID(GEN_SEQUENCIALALTERACAO, 1);
END^

CREATE TRIGGER MOTIVO_NAOCOLETA_SEQUENCIAL FOR MOTIVO_NAOCOLETA
ACTIVE BEFORE INSERT OR UPDATE POSITION 0
AS
BEGIN
    NEW.SEQUENCIALALTERACAO = GEN_ID(GEN_SEQUENCIALALTERACAO, 1);
END^

CREATE TRIGGER PARAMETROSESPECIAIS_SEQUENCIAL FOR PARAMETROSESPECIAIS
ACTIVE BEFORE INSERT OR UPDATE POSITION 0
AS
BEGIN
    NEW.SEQUENCIALALTERACAO = GEN_ID(GEN_SEQUENCIALALTERACAO, 1);
END^

SET TERM ; ^

COMMIT;
