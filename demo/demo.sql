-- The demo database of the chart viewer: sales zones, a year of orders (a few thousand
-- rows made with generate_series, with a seasonal swing and a level of their own per
-- zone) and the monthly sales summed from them. Loaded into "varnox_demo" by scripts/demo.
SET client_min_messages = warning;

DROP TABLE IF EXISTS ventas_mensuales, pedidos, zonas;

CREATE TABLE zonas (
    zona    char(2)     PRIMARY KEY,
    nombre  varchar(30) NOT NULL,
    nivel   numeric(4,2) NOT NULL   -- the zone's share of a typical order
);
INSERT INTO zonas VALUES
    ('NO', 'Norte', 1.30), ('SU', 'Sur', 0.80), ('ES', 'Este', 1.00), ('OE', 'Oeste', 0.60);

CREATE TABLE pedidos (
    id       integer       PRIMARY KEY,
    fecha    date          NOT NULL,
    zona     char(2)       NOT NULL REFERENCES zonas,
    importe  numeric(10,2) NOT NULL CHECK (importe >= 0)
);
INSERT INTO pedidos
SELECT i,
       date '2025-01-01' + (i * 7919 % 365),
       z.zona,
       round((z.nivel * (80 + 50 * sin(2 * pi() * ((i * 7919 % 365) + (CASE z.zona WHEN 'SU' THEN 120 ELSE 0 END)) / 365.0))
              + (i * 37 % 60))::numeric, 2)
  FROM generate_series(1, 4800) i
  JOIN zonas z ON z.zona = (ARRAY['NO', 'SU', 'ES', 'OE'])[1 + i % 4];
CREATE INDEX pedidos_fecha ON pedidos (fecha);
CREATE INDEX pedidos_zona_fecha ON pedidos (zona, fecha);

CREATE TABLE ventas_mensuales (
    zona     char(2)       NOT NULL REFERENCES zonas,
    periodo  char(6)       NOT NULL,   -- YYYYMM
    mes      integer       NOT NULL CHECK (mes BETWEEN 1 AND 12),
    importe  numeric(12,2) NOT NULL,
    pedidos  integer       NOT NULL,
    PRIMARY KEY (zona, periodo)
);
INSERT INTO ventas_mensuales
SELECT zona, to_char(fecha, 'YYYYMM'), extract(month FROM fecha)::integer, sum(importe), count(*)
  FROM pedidos
 GROUP BY zona, to_char(fecha, 'YYYYMM'), extract(month FROM fecha);
CREATE INDEX ventas_mensuales_periodo ON ventas_mensuales (periodo);

ANALYZE;
