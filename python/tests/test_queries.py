"""NodeDetector.query and query_ball_point against numpy brute force, with ties."""

import threading

import numpy as np
import pytest

import quernfold as qf


def brute(points, queries, k):
    """(distances, indices) of the k nearest, by squared distance then index."""
    pad = np.zeros((len(queries), 3 - queries.shape[1]))
    q = np.hstack([queries, pad])[:, : points.shape[1]]
    d2 = ((q[:, None, :] - points[None, :, :]) ** 2).sum(axis=2)
    order = np.lexsort((np.broadcast_to(np.arange(len(points)), d2.shape), d2), axis=1)[:, :k]
    return np.sqrt(np.take_along_axis(d2, order, axis=1)), order, d2


@pytest.mark.parametrize("dim,lattice", [(2, True), (3, True), (3, False)])
def test_query_and_ball_match_brute_force(dim, lattice):
    rng = np.random.default_rng(dim)
    points = rng.random((900, dim))
    queries = rng.random((120, 3))
    if lattice:  # equal distances everywhere, coincident points
        points, queries = np.floor(points * 6), np.floor(queries * 12) / 2
    tree = qf.NodeDetector(points)
    r = 1.0 if lattice else 0.1
    for k in (1, 4):
        dist, idx = tree.query(queries, k=k)
        want_d, want_i, d2 = brute(points, queries, k)
        assert idx.shape == dist.shape == ((120,) if k == 1 else (120, k))
        assert np.array_equal(idx.reshape(120, k), want_i)
        assert np.array_equal(dist.reshape(120, k), want_d)
    balls = tree.query_ball_point(queries, r)
    assert len(balls) == 120
    for j, ball in enumerate(balls):
        assert np.array_equal(ball, np.flatnonzero(d2[j] <= r * r))
    d0, i0 = tree.query(queries[0])
    assert (d0, i0) == (dist[0, 0], idx[0, 0]) and isinstance(i0, int)
    assert tree.query(queries[0], k=3)[1].shape == (3,)
    assert np.array_equal(tree.query_ball_point(queries[0], r), balls[0])


def test_query_padding_errors_and_threads():
    tree = qf.NodeDetector(np.array([[0.0, 0.0], [1.0, 0.0]]))
    dist, idx = tree.query([[0.2, 0.0], [np.nan, 0.0]], k=3)
    assert idx.tolist() == [[0, 1, qf.NO_INDEX], [qf.NO_INDEX] * 3]
    assert np.isinf(dist[:, 2]).all() and np.isinf(dist[1]).all()
    with pytest.raises(qf.Error):
        tree.query([0.0, 0.0], k=0)
    with pytest.raises(qf.Error):
        tree.query_ball_point([0.0, 0.0], -1.0)
    big = qf.NodeDetector(np.random.default_rng(1).random((20000, 3)))
    q = np.random.default_rng(2).random((20000, 3))
    results = [None] * 4
    runs = [threading.Thread(target=lambda i=i: results.__setitem__(i, big.query(q, k=2)[1]))
            for i in range(4)]
    for t in runs:
        t.start()
    for t in runs:
        t.join()
    assert all(np.array_equal(r, results[0]) for r in results)
