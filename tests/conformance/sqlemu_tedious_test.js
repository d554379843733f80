'use strict';
// sqlemu as a client that nobody here wrote sees it: tedious, a TDS client
// of its own (not FreeTDS, which the program uses). Each case says what a
// real SQL Server answers, from its documentation, and checks sqlemu gives
// the same.

const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { Connection, Request, TYPES, ISOLATION_LEVEL } = require('tedious');

const sqlemu = process.env.SQLEMU;
if (!sqlemu) throw new Error('SQLEMU names the sqlemu to test');

// A sqlemu of its own in a temporary folder; resolves once it is ready.
function startServer(extra = []) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'sqlemu-conformance-'));
  const child = spawn(sqlemu, ['--data-dir', path.join(folder, 'data'), '--port', '0', '--test-statements', ...extra], {
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let errors = '';
  child.stderr.on('data', (d) => { errors += d; });
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = /MSSQLSERVER=(\d+)/.exec(out);
      if (m) resolve({ child, folder, port: Number(m[1]), errors: () => errors });
    });
    child.on('exit', (code) => reject(new Error(`sqlemu exited with ${code}: ${errors}`)));
  });
}

async function stopServer(server) {
  const exited = new Promise((resolve) => server.child.once('exit', resolve));
  server.child.kill('SIGTERM');
  assert.equal(await exited, 0, 'SIGTERM stops sqlemu cleanly');
  fs.rmSync(server.folder, { recursive: true, force: true });
}

function close(connection) {
  return new Promise((resolve) => {
    connection.once('end', resolve);
    connection.close();
  });
}

async function closeThenStop(connection, server) {
  await close(connection);
  await stopServer(server);
}

function connect(port, { user = 'sa', password = '', encrypt = false } = {}) {
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName: user, password } },
    options: { port, encrypt, trustServerCertificate: true, connectTimeout: 60000, requestTimeout: 120000 },
  });
  return new Promise((resolve, reject) => {
    connection.on('connect', (err) => (err ? reject(err) : resolve(connection)));
    connection.connect();
  });
}

// Runs a batch; resolves with its rows (column name -> value), the server's
// messages and the error, if any.
function run(connection, sql, parameters = []) {
  return new Promise((resolve) => {
    const rows = [];
    const messages = [];
    const onInfo = (m) => messages.push({ number: m.number, text: m.message, severity: m.class });
    const onError = (m) => messages.push({ number: m.number, text: m.message, severity: m.class });
    connection.on('infoMessage', onInfo);
    connection.on('errorMessage', onError);
    const request = new Request(sql, (error) => {
      connection.removeListener('infoMessage', onInfo);
      connection.removeListener('errorMessage', onError);
      resolve({ rows, messages, error });
    });
    for (const p of parameters) request.addParameter(p.name, p.type, p.value);
    request.on('row', (columns) => {
      const row = {};
      columns.forEach((c, i) => { row[c.metadata.colName || `column${i}`] = c.value; });
      rows.push(row);
    });
    if (parameters.length) connection.execSql(request);
    else connection.execSqlBatch(request);
  });
}

const numbers = (result) => result.messages.map((m) => m.number);
const transaction = (connection, verb) =>
  new Promise((resolve) => {
    const done = (err) => resolve(err);
    if (verb === 'begin') connection.beginTransaction(done, '', ISOLATION_LEVEL.READ_COMMITTED);
    else if (verb === 'commit') connection.commitTransaction(done);
    else connection.rollbackTransaction(done);
  });

// A database of the tool's shape, attached, with its files in folder.
async function attachDatabase(connection, server, name) {
  const data = path.join(server.folder, `${name}.mdf`);
  const log = path.join(server.folder, `${name}_log.ldf`);
  execFileSync(sqlemu, ['--make-database', name, '--data', data, '--log', log, '--size', '3',
    '--logical-data', 'Data_Data', '--logical-log', 'Data_log']);
  const attached = await run(connection, `CREATE DATABASE ${name} ON (FILENAME = N'${data}'), (FILENAME = N'${log}') FOR ATTACH`);
  assert.equal(attached.error, undefined);
  return { data, log };
}

test('sqlemu 16.0 through tedious', async (t) => {
  const server = await startServer(['--server-version', '16.0']);
  const db = await connect(server.port);
  t.after(() => closeThenStop(db, server));

  await t.test('a wrong password is 18456, class 14, as for an unknown login', async () => {
    await assert.rejects(connect(server.port, { password: 'wrong' }), /Login failed for user 'sa'\./);
  });

  await t.test('the whole session encrypted when the client asks', async () => {
    const encrypted = await connect(server.port, { encrypt: true });
    const r = await run(encrypted, 'SELECT DB_NAME() AS name');
    assert.equal(r.rows[0].name, 'master');
    await close(encrypted);
  });

  await t.test('catalogue: the four system databases in id order', async () => {
    const r = await run(db, 'SELECT name, database_id FROM sys.databases ORDER BY database_id');
    assert.deepEqual(r.rows.map((x) => x.name), ['master', 'tempdb', 'model', 'msdb']);
  });

  await t.test('SERVERPROPERTY is a sql_variant telling the version of @@VERSION', async () => {
    const r = await run(db, "SELECT SERVERPROPERTY('ProductVersion') AS v, SERVERPROPERTY('EngineEdition') AS e, @@VERSION AS banner");
    assert.equal(r.rows[0].v, '16.0.1000.6');
    assert.equal(r.rows[0].e, 4);
    assert.match(r.rows[0].banner, /^Microsoft SQL Server 2022 \(RTM\) - 16\.0\.1000\.6/);
  });

  await t.test('an unknown object is 208, class 16, and the session goes on', async () => {
    const r = await run(db, 'SELECT * FROM nowhere');
    assert.deepEqual(numbers(r), [208]);
    assert.equal(r.messages[0].text, "Invalid object name 'nowhere'.");
    assert.equal(r.messages[0].severity, 16);
    assert.equal((await run(db, 'SELECT 1 AS one')).rows[0].one, 1);
  });

  await t.test('Persian text and a datetime travel unchanged as parameters', async () => {
    const when = new Date(Date.UTC(2024, 2, 20, 10, 11, 12, 0));
    const r = await run(db, 'SELECT @t AS t, @d AS d', [
      { name: 't', type: TYPES.NVarChar, value: 'پشتیبان‌گیری کیان' },
      { name: 'd', type: TYPES.DateTime, value: when },
    ]);
    assert.equal(r.error, undefined);
    assert.equal(r.rows[0].t, 'پشتیبان‌گیری کیان');
    assert.equal(r.rows[0].d.getTime(), when.getTime());
  });

  await t.test('a text in ISO form converts to datetime', async () => {
    const r = await run(db, "SELECT CAST('2024-03-20' AS datetime) AS d");
    assert.equal(r.error, undefined);
    assert.equal(r.rows[0].d.toISOString(), '2024-03-20T00:00:00.000Z');
  });

  const files = await attachDatabase(db, server, 'Tarnel');
  const media = path.join(server.folder, 'Tarnel.Bak');

  await t.test('BACKUP with STATS reports progress, then each file, then 3014', async () => {
    const r = await run(db, `BACKUP DATABASE Tarnel TO DISK = N'${media}' WITH STATS = 50`);
    assert.equal(r.error, undefined);
    assert.deepEqual(numbers(r), [3211, 3211, 4035, 4035, 3014]);
    assert.equal(r.messages[0].text, '50 percent processed.');
  });

  await t.test('RESTORE HEADERONLY: one set at position 1, a file named in the statement (DeviceType 2)', async () => {
    const r = await run(db, `RESTORE HEADERONLY FROM DISK = N'${media}'`);
    assert.equal(r.rows.length, 1);
    assert.equal(r.rows[0].Position, 1);
    assert.equal(r.rows[0].DeviceType, 2);
    assert.equal(r.rows[0].DatabaseName, 'Tarnel');
  });

  await t.test('RESTORE without STATS sends no progress: 4035, 4035, 3014', async () => {
    const r = await run(db, `RESTORE DATABASE Copy FROM DISK = N'${media}' WITH MOVE 'Data_Data' TO N'${files.data}.copy', MOVE 'Data_log' TO N'${files.log}.copy'`);
    assert.equal(r.error, undefined);
    assert.deepEqual(numbers(r), [4035, 4035, 3014]);
  });

  await t.test('the history in msdb names the backup and the restore', async () => {
    const r = await run(db, 'SELECT destination_database_name AS name FROM msdb.dbo.restorehistory');
    assert.deepEqual(r.rows.map((x) => x.name), ['Copy']);
  });

  await t.test('a transaction from the protocol: counted, refusing DROP and BACKUP, rolled back', async () => {
    assert.equal(await transaction(db, 'begin'), undefined);
    assert.equal((await run(db, 'SELECT @@TRANCOUNT AS n')).rows[0].n, 1);
    const drop = await run(db, 'DROP DATABASE Tarnel');
    assert.deepEqual(numbers(drop), [574]);
    assert.equal(drop.messages[0].text, 'DROP DATABASE statement cannot be used inside a user transaction.');
    const backup = await run(db, `BACKUP DATABASE Tarnel TO DISK = N'${media}'`);
    assert.deepEqual(numbers(backup), [3021, 3013]);
    assert.equal(await transaction(db, 'rollback'), undefined);
    assert.equal((await run(db, 'SELECT @@TRANCOUNT AS n')).rows[0].n, 0);
    assert.ok(fs.existsSync(files.data), 'the refused drop left the files');
    const listed = await run(db, "SELECT state_desc FROM sys.databases WHERE name = N'Tarnel'");
    assert.equal(listed.rows[0].state_desc, 'ONLINE');
  });

  await t.test('COMMIT or ROLLBACK without a transaction is 3902 or 3903, never done', async () => {
    assert.deepEqual(numbers(await run(db, 'COMMIT')), [3902]);
    assert.deepEqual(numbers(await run(db, 'ROLLBACK')), [3903]);
  });

  await t.test('BEGIN TRAN in T-SQL and COMMIT through the protocol end one transaction', async () => {
    await run(db, 'BEGIN TRAN');
    assert.equal(await transaction(db, 'commit'), undefined);
    assert.equal((await run(db, 'SELECT @@TRANCOUNT AS n')).rows[0].n, 0);
  });

  await t.test('date, time, datetime2 and datetimeoffset, as values and as parameters', async () => {
    const r = await run(db, "SELECT CAST('2024-03-20' AS date) AS d, CAST('10:11:12.5' AS time(2)) AS t, "
      + "CAST('2024-03-20 10:11:12 +03:30' AS datetimeoffset(0)) AS o, @p AS p", [
      { name: 'p', type: TYPES.DateTime2, value: new Date(Date.UTC(2024, 2, 20, 10, 11, 12, 345)) },
    ]);
    assert.equal(r.error, undefined);
    assert.equal(r.rows[0].d.toISOString(), '2024-03-20T00:00:00.000Z');
    assert.equal(r.rows[0].t.toISOString(), '1970-01-01T10:11:12.500Z');
    assert.equal(r.rows[0].o.toISOString(), '2024-03-20T06:41:12.000Z');
    assert.equal(r.rows[0].p.toISOString(), '2024-03-20T10:11:12.345Z');
  });
});

test('permissions per role, a database owner who is not sysadmin among them', async (t) => {
  const server = await startServer(['--server-version', '9.0', '--login', 'clerk:Clerk1', '--login', 'keeper:Keep1:dbcreator']);
  const sa = await connect(server.port);
  const keeper = await connect(server.port, { user: 'keeper', password: 'Keep1' });
  const clerk = await connect(server.port, { user: 'clerk', password: 'Clerk1' });
  t.after(async () => {
    await close(clerk);
    await close(keeper);
    await closeThenStop(sa, server);
  });
  await attachDatabase(keeper, server, 'Kept'); // keeper attached it: its owner
  await attachDatabase(sa, server, 'Other');

  // BACKUP LOG needs sysadmin, db_owner or db_backupoperator; DBCC SHRINKFILE
  // sysadmin or db_owner.
  const cases = [
    { who: clerk, name: 'clerk', database: 'Kept', truncate: [262, 3013], shrink: [2571] },
    { who: keeper, name: 'keeper', database: 'Other', truncate: [262, 3013], shrink: [2571] },
    { who: keeper, name: 'keeper', database: 'Kept', truncate: [], shrink: [2528] },
    { who: sa, name: 'sa', database: 'Other', truncate: [], shrink: [2528] },
  ];
  for (const c of cases) {
    const truncate = await run(c.who, `BACKUP LOG ${c.database} WITH TRUNCATE_ONLY`);
    assert.deepEqual(numbers(truncate), c.truncate, `${c.name}: BACKUP LOG ${c.database}`);
    const shrink = await run(c.who, `USE ${c.database} DBCC SHRINKFILE(2, 0) USE master`);
    assert.deepEqual(numbers(shrink).filter((n) => n !== 5701), c.shrink, `${c.name}: DBCC SHRINKFILE in ${c.database}`);
  }
  const refused = await run(clerk, `BACKUP DATABASE Kept TO DISK = N'${path.join(server.folder, 'k.bak')}'`);
  assert.deepEqual(numbers(refused), [262, 3013]);
  assert.equal(refused.messages[0].text, "BACKUP DATABASE permission denied in database 'Kept'.");
});

test('system databases: master backs up; tempdb is refused as a real server refuses it', async (t) => {
  const server = await startServer(['--server-version', '10.50']);
  const db = await connect(server.port);
  t.after(() => closeThenStop(db, server));
  const media = path.join(server.folder, 'master.bak');
  const backup = await run(db, `BACKUP DATABASE master TO DISK = N'${media}'`);
  assert.deepEqual(numbers(backup), [4035, 4035, 3014]);
  const tempdb = await run(db, `BACKUP DATABASE tempdb TO DISK = N'${path.join(server.folder, 't.bak')}'`);
  assert.deepEqual(numbers(tempdb), [3147, 3013]);
  assert.equal(tempdb.messages[0].text, 'Backup and restore operations are not allowed on database tempdb.');
  const restore = await run(db, `RESTORE DATABASE master FROM DISK = N'${media}' WITH REPLACE`);
  assert.deepEqual(numbers(restore), [3108, 3013]);
});

test('sqlemu 9.0 through tedious', async (t) => {
  const server = await startServer(['--server-version', '9.0']);
  const db = await connect(server.port);
  t.after(() => closeThenStop(db, server));

  await t.test('the version of SQL Server 2005 SP4 everywhere', async () => {
    const r = await run(db, "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(20)) AS v, @@VERSION AS banner");
    assert.equal(r.rows[0].v, '9.00.5000.00');
    assert.match(r.rows[0].banner, /^Microsoft SQL Server 2005 - 9\.00\.5000\.00/);
  });

  await t.test('date does not exist in SQL Server 2005: 2715', async () => {
    const r = await run(db, "SELECT CAST('2024-03-20' AS date) AS d");
    assert.deepEqual(numbers(r), [2715]);
    assert.equal(r.messages[0].text, 'Column, parameter, or variable #1: Cannot find data type date.');
  });

  await t.test('BACKUP LOG ... WITH TRUNCATE_ONLY runs without a message', async () => {
    const r = await run(db, 'BACKUP LOG master WITH TRUNCATE_ONLY');
    assert.equal(r.error, undefined);
    assert.deepEqual(numbers(r), []);
  });
});

test('a server that forces encryption: a client that will not encrypt is told, one that will gets TLS', async (t) => {
  const server = await startServer(['--server-version', '16.0', '--force-encryption']);
  t.after(() => stopServer(server));
  // The server answers PRELOGIN with ENCRYPT_REQ; this client then gives up.
  await assert.rejects(connect(server.port, { encrypt: false }), /requires encryption/);
  const db = await connect(server.port, { encrypt: true });
  assert.equal((await run(db, 'SELECT 1 AS one')).rows[0].one, 1);
  await close(db);
});
